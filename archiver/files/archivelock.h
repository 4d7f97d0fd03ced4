#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace vadok::archiver {

// Stores and readers of one archive take turns. A store reads the old archive, writes a new
// one beside it and renames it over the old: two stores at once would each rename their own
// and one would be lost, and a reader that opens the archive more than once (one reader per
// thread) would read pieces of two archives. So a store holds an exclusive lock from before
// it reads the old archive until after the rename, and an expansion or a check a shared one
// for as long as it reads.
//
// The lock is an flock on a file in this user's own lock folder (lockFolder()), named after
// the archive's folder (links resolved) and name: never beside the archive, where a sync
// engine, another machine or another program may put anything under any name, and where a
// reader would leave files in a folder that is the user's. Every process of the user finds
// the same file for the same archive, so they exclude each other as before.
//
// Lock files do not pile up: the last holder to let go removes its file (unless it records
// a temporary, below). Whoever takes a lock checks, once it holds it, that the file it
// locked is still the one under the name, and starts again when it is not: a removal never
// lets two hold one archive.
//
// Whatever stands under a lock file's name that is not a plain file of this user's with one
// name (a symbolic link, a second name of another file, a FIFO, a folder) is never used: it
// is set aside (a folder renamed, anything else unlinked, which loses no data), the caller
// is told, and a fresh lock file is made, so one such entry never fails every store.
//
// Under the exclusive lock the file also records the name of the temporary the store is
// writing, so that the next store can remove that temporary when the store was killed, and
// nothing that only looks like one. A file holding such a record is kept until then.
class ArchiveLock {
public:
    enum class Kind { Shared, Exclusive };

    // How long to wait for another holder: tries every few milliseconds until limit, calling
    // waiting (on the calling thread) after each failed try; waiting returning false stops.
    struct Wait {
        std::chrono::milliseconds limit{std::chrono::minutes(10)};
        std::function<bool()> waiting;
    };
    using Warning = std::function<void(const std::string& message)>;

    ArchiveLock() = default;
    ~ArchiveLock();
    ArchiveLock(ArchiveLock&& other) noexcept;
    ArchiveLock& operator=(ArchiveLock&& other) noexcept;

    // ArchiverOk with the lock held, ArchiverLocked when the wait ran out or was stopped,
    // ArchiverCannotCreate when there is no lock file to be had. A shared lock goes without
    // when there is no lock folder to be had, and for an archive that does not exist (there
    // is nothing to wait for, and no lock file is left behind); it is then ArchiverOk with
    // held() false. warning, when set, hears of a lock file that was refused and set aside.
    int take(const std::string& archivePath, Kind kind, const Wait& wait,
             const Warning& warning = {});
    bool held() const { return m_fd >= 0; }
    void release();

    // The temporary recorded by the last exclusive holder, "" when none; only ever a name
    // of a temporary of this archive, in its folder.
    std::string recordedTemporary() const;
    // The same, read by one who holds the lock through another ArchiveLock.
    static std::string recordedTemporaryOf(const std::string& archivePath);
    bool recordTemporary(const std::string& name);
    void clearRecord();

    // The lock file of archivePath; "" when there is no lock folder to be had.
    static std::string lockPathOf(const std::string& archivePath);
    // ".<archive name>." : what every temporary of the archive's stores starts with.
    static std::string temporaryPrefixOf(const std::string& archivePath);
    // This user's lock folder, "locks" in vadok's cache folder ($XDG_CACHE_HOME/vadok, else
    // ~/.cache/vadok), made 0700 when missing. Where that is not the user's own folder (a
    // process running with another user's environment), the same in the user's home from
    // the password database, then $XDG_RUNTIME_DIR/vadok-locks, then /tmp/vadok-<uid>-locks;
    // "" when none can be had.
    static std::string lockFolder();

private:
    int m_fd = -1;
    int m_folder = -1; // the lock folder, while the lock is held
    std::string m_name; // the lock file's name in it
    std::string m_prefix;
};

// Removes the lock file an earlier version kept beside archivePath (".<name>.lock"), and
// the temporary of a killed store it names, when it is certainly one: a plain file of this
// user's with one name, empty or holding nothing but such a record. Call while holding the
// archive exclusively.
void retireLockBeside(const std::string& archivePath);

} // namespace vadok::archiver

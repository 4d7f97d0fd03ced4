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
// The lock is an flock on ".<archive name>.lock" in the archive's folder, never on the
// archive: the archive is replaced by rename and may not exist yet. The lock file is made
// 0644 and never deleted (deleting it would let two lockers hold locks on two different
// files). Under the exclusive lock it also records the name of the temporary the store is
// writing, so that the next store can remove that temporary when the store was killed, and
// nothing that only looks like one.
class ArchiveLock {
public:
    enum class Kind { Shared, Exclusive };

    // How long to wait for another holder: tries every few milliseconds until limit, calling
    // waiting (on the calling thread) after each failed try; waiting returning false stops.
    struct Wait {
        std::chrono::milliseconds limit{std::chrono::minutes(10)};
        std::function<bool()> waiting;
    };

    ArchiveLock() = default;
    ~ArchiveLock();
    ArchiveLock(ArchiveLock&& other) noexcept;
    ArchiveLock& operator=(ArchiveLock&& other) noexcept;

    // ArchiverOk with the lock held, ArchiverLocked when the wait ran out or was stopped,
    // ArchiverCannotCreate when there is no lock file to be had. A shared lock goes without
    // when the lock file can neither be opened nor made (a read-only folder, where no store
    // can write either); it is then ArchiverOk with held() false.
    int take(const std::string& archivePath, Kind kind, const Wait& wait);
    bool held() const { return m_fd >= 0; }
    void release();

    // The temporary recorded by the last exclusive holder, "" when none; only ever a name
    // of a temporary of this archive, in its folder.
    std::string recordedTemporary() const;
    // The same, read by one who holds the lock through another ArchiveLock.
    static std::string recordedTemporaryOf(const std::string& archivePath);
    bool recordTemporary(const std::string& name);
    void clearRecord();

    // ".<archive name>.lock" beside archivePath.
    static std::string lockPathOf(const std::string& archivePath);
    // ".<archive name>." : what every temporary of the archive's stores starts with.
    static std::string temporaryPrefixOf(const std::string& archivePath);

private:
    int m_fd = -1;
    std::string m_prefix;
};

} // namespace vadok::archiver

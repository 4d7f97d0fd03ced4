// A store reads a folder that belongs to a running application and its user: files change,
// turn into FIFOs or links, folders turn into files, and a store may be killed. These cases
// make each of that happen for real, on real files, FIFOs and links.

#include "archivertestsupport.h"

#include "archiver/archiver.h"
#include "archiver/files/archivelock.h"
#include "archiver/lzh/lzhheaderreader.h"
#include "archiver/store/storejob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <system_error>
#include <thread>
#include <unistd.h>

using namespace vadok;
using namespace vadok::test;

namespace {

constexpr int kFiles = 300;

std::string fileName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "d/f%03d", i);
    return name;
}

// A folder of many small files; the change happens as the store is about to open the last
// one, while others are being compressed and written.
archiver::StoreResult storeChangingMidway(const TempDir& dir,
                                          const std::function<void()>& change) {
    for (int i = 0; i < kFiles; ++i)
        if (!std::filesystem::exists(dir / ("src/" + fileName(i))))
            writeFile(dir / ("src/" + fileName(i)), "content " + std::to_string(i));
    archiver::StoreOptions options;
    std::atomic<bool> changed = false;
    options.reading.beforeOpen = [&](const std::string& path) {
        if (path == fileName(kFiles - 1) && !changed.exchange(true))
            change();
    };
    auto result = archiver::storeFolder(dir / "a.lzh", dir / "src/", options);
    EXPECT_TRUE(changed) << "the last file was never opened";
    return result;
}

} // namespace

// A process at its limit of threads: a store that cannot start the threads it wants does
// their work on its own and still answers with its code, for a new archive and an update.
TEST(StoreFaults, aStoreThatCannotStartItsThreadsStoresAllTheSame) {
    for (const int threadsToBeHad : {0, 1, 3}) {
        TempDir dir;
        for (int i = 0; i < 40; ++i)
            writeFile(dir / ("src/" + fileName(i)), randomData(3000 + 97 * i, unsigned(i), 16));
        archiver::StoreOptions options;
        options.threads = 4;
        std::atomic<int> started = 0;
        options.startThread = [&](std::function<void()> work) {
            if (started++ >= threadsToBeHad)
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            return std::thread(std::move(work));
        };
        for (const bool update : {false, true}) {
            if (update)
                writeFile(dir / ("src/" + fileName(7)), "changed since the first store");
            started = 0;
            const auto result = archiver::storeFolder(dir / "a.lzh", dir / "src/", options);
            ASSERT_EQ(result.code, ArchiverOk) << threadsToBeHad << " threads: " << result.error;
            ASSERT_EQ(Unlha(nullptr, expandCommand(dir / "a.lzh", dir / (update ? "two/" : "one/")),
                            nullptr, 0),
                      ArchiverOk);
            EXPECT_EQ(readTree(dir / (update ? "two" : "one")), readTree(dir / "src"));
        }
    }
}

// The new archive is synced while it is still being written, so that the sync before the
// rename has little left to wait for. The writer is held after 6 MB until such a sync was
// made (or tried): a store that synced only at its end would hang there until ctest's
// timeout reports it. A sync that fails there fails the store, although the file's last
// sync need not report that error again, and the old archive stays.
TEST(StoreFaults, theArchiveIsSyncedWhileWrittenAndAFailedSyncFailsTheStore) {
    for (const bool syncFails : {false, true}) {
        SCOPED_TRACE(syncFails ? "the sync fails" : "the sync succeeds");
        TempDir dir;
        writeFile(dir / "src/a.txt", "before");
        ASSERT_EQ(archiver::storeFolder(dir / "a.lzh", dir / "src/", {}).code, ArchiverOk);
        const std::string before = readFile(dir / "a.lzh");
        for (int i = 0; i < 4; ++i)
            writeFile(dir / ("src/" + fileName(i)), randomData(2 << 20, unsigned(i)));
        std::mutex mutex;
        std::condition_variable tried;
        bool syncTried = false;
        std::uint64_t synced = 0;
        archiver::StoreOptions options;
        options.syncing.syncData = [&](int fd) {
            const int r = syncFails ? (errno = EIO, -1) : ::fdatasync(fd);
            std::lock_guard lock(mutex);
            syncTried = true;
            tried.notify_all();
            return r;
        };
        options.syncing.synced = [&](std::uint64_t bytes) {
            std::lock_guard lock(mutex);
            synced = bytes;
        };
        options.progress = [&](const std::string&, std::uint64_t done, std::uint64_t) {
            if (done < (6u << 20))
                return;
            std::unique_lock lock(mutex);
            tried.wait(lock, [&] { return syncTried; });
        };
        const auto result = archiver::storeFolder(dir / "a.lzh", dir / "src/", options);
        EXPECT_EQ(listFolder(dir.path()), (std::vector<std::string>{"a.lzh", "src"}));
        if (syncFails) {
            EXPECT_EQ(result.code, ArchiverWriteError);
            EXPECT_TRUE(readFile(dir / "a.lzh") == before) << "the archive was replaced";
            continue;
        }
        ASSERT_EQ(result.code, ArchiverOk) << result.error;
        EXPECT_GE(synced, 4u << 20);
        ASSERT_EQ(Unlha(nullptr, expandCommand(dir / "a.lzh", dir / "out/"), nullptr, 0),
                  ArchiverOk);
        EXPECT_EQ(readTree(dir / "out"), readTree(dir / "src"));
    }
}

TEST(StoreFaults, sourceReplacedByAFifoFailsTheStoreInsteadOfHanging) {
    TempDir dir;
    const std::string last = dir / ("src/" + fileName(kFiles - 1));
    auto store = std::async(std::launch::async, [&] {
        return storeChangingMidway(dir, [&] {
            std::filesystem::remove(last);
            ASSERT_EQ(::mkfifo(last.c_str(), 0644), 0);
        });
    });
    if (store.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the store blocks on the FIFO";
        // Give the blocked open its writer, so that the store can end.
        const int fd = ::open(last.c_str(), O_WRONLY | O_NONBLOCK);
        ::close(fd);
    }
    EXPECT_EQ(store.get().code, ArchiverReadError);
    EXPECT_EQ(listFolder(dir.path()), (std::vector<std::string>{"src"}))
        << "an archive or a temporary stayed behind";
}

TEST(StoreFaults, sourceOrItsFolderReplacedByALinkIsNeverFollowed) {
    struct Case {
        const char* name;
        std::function<void(const TempDir&)> change;
    };
    const Case cases[] = {
        {"file replaced by a link",
         [](const TempDir& dir) {
             const std::string last = dir / ("src/" + fileName(kFiles - 1));
             std::filesystem::remove(last);
             makeSymlink(dir / "outside/secret", last);
         }},
        {"folder replaced by a link",
         [](const TempDir& dir) {
             std::filesystem::rename(dir / "src/d", dir / "moved");
             makeSymlink(dir / "outside", dir / "src/d");
         }},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir / "outside/secret", "bytes from outside the folder");
        writeFile(dir / ("outside/" + fileName(kFiles - 1).substr(2)), "also outside");
        const auto result = storeChangingMidway(dir, [&] { c.change(dir); });
        EXPECT_EQ(result.code, ArchiverReadError) << c.name;
        EXPECT_FALSE(std::filesystem::exists(dir / "a.lzh")) << c.name;
    }
}

TEST(StoreFaults, filesOverTheSizeLimitAreRefusedBeforeAnythingIsCompressed) {
    TempDir dir;
    writeFile(dir / "src/a.txt", "small");
    writeFile(dir / "src/big.bin", "");
    ASSERT_EQ(::truncate((dir / "src/big.bin").c_str(), 0x100000000), 0);
    archiver::StoreOptions options;
    bool reported = false;
    options.progress = [&](const std::string&, std::uint64_t, std::uint64_t) { reported = true; };
    EXPECT_EQ(archiver::storeFolder(dir / "a.lzh", dir / "src/", options).code,
              ArchiverUnsupported);
    EXPECT_FALSE(reported) << "members were stored before the size was checked";
    EXPECT_FALSE(std::filesystem::exists(dir / "a.lzh"));
}

TEST(StoreFaults, aFileOfExactly0xFFFFFFFFBytesPassesTheSizeCheck) {
    TempDir dir;
    const std::string last = dir / ("src/" + fileName(kFiles - 1));
    writeFile(last, "");
    ASSERT_EQ(::truncate(last.c_str(), 0xFFFFFFFF), 0);
    // Shrunk as the store opens it, so that the test does not compress 4 GiB: the store got
    // past the size check to reading the file, which then no longer is what the scan saw.
    EXPECT_EQ(storeChangingMidway(dir, [&] { writeFile(last, "now small"); }).code,
              ArchiverReadError);
    EXPECT_EQ(listFolder(dir.path()), (std::vector<std::string>{"src"}))
        << "an archive or a temporary stayed behind";
}

// The file being read changes under the store on each path that reads one: compressed (its
// data spilling to disk), stored as is after it would not shrink (its second read), and
// compared with the old member it may equal. Mixed bytes match neither version, so the store
// fails and keeps the old archive; the next store takes the file as it then is.
TEST(StoreFaults, fileChangedWhileReadFailsTheStoreAndTheNextStoreTakesItAsItIs) {
    struct Way {
        const char* name;
        std::string content;
        int open; // the opening of the file during which it changes
        bool sameAsStored; // the file is as the old archive holds it, but unstamped
        std::uint64_t changedAfter = 256 * 1024; // bytes read
    };
    const Way ways[] = {
        {"compressed", randomData(1 << 20, 1, 16), 1, false},
        {"stored as is", randomData(600000, 2), 2, false},
        {"compared with its member", randomData(600000, 3, 16), 1, true},
        // In the second of four segments, while a helper thread compresses the first.
        {"compressed in segments", randomData((3 << 20) + 5000, 4, 16), 1, false, (1 << 20) + 4096},
    };
    struct Change {
        const char* name;
        std::function<void(const std::string& path)> apply;
        bool beforeOpening = false; // between the scan and the opening, not while read
    };
    // Flips the first byte, and sets the file's modification time secondsBack before its own
    // (0: keeps it to the nanosecond).
    const auto rewriteFirstByte = [](const std::string& path, std::int64_t secondsBack) {
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        const char first = static_cast<char>(readFile(path)[0] ^ 0x40);
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, &first, 1, 0), 1);
        ::close(fd);
        setMtime(path, st.st_mtim.tv_sec - secondsBack, secondsBack ? 0 : st.st_mtim.tv_nsec);
    };
    const Change changes[] = {
        {"cut short", [](const std::string& path) { ASSERT_EQ(::truncate(path.c_str(), 1000), 0); }},
        {"grown",
         [](const std::string& path) {
             const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
             ASSERT_EQ(::write(fd, "more", 4), 4);
             ::close(fd);
         }},
        // Its size still is what the scan saw: only its time tells.
        {"rewritten after the scan, before it is opened",
         [&](const std::string& path) { rewriteFirstByte(path, 10); }, true},
        {"rewritten where already read, keeping size and times",
         [&](const std::string& path) { rewriteFirstByte(path, 0); }},
    };
    for (const auto& way : ways) {
        for (const auto& change : changes) {
            const std::string what = std::string(way.name) + ", " + change.name;
            TempDir dir;
            const std::string file = dir / "src/app.bin";
            writeFile(dir / "src/readme.txt", "stays");
            writeFile(file, way.sameAsStored ? way.content : "the version before");
            ASSERT_EQ(archiver::storeFolder(dir / "a.lzh", dir / "src/", {}).code, ArchiverOk);
            if (way.sameAsStored)
                ::removexattr((dir / "src").c_str(), "user.vadok.synced");
            else
                writeFile(file, way.content);
            const std::string before = readFile(dir / "a.lzh");

            archiver::StoreOptions options;
            std::atomic<int> opened = 0;
            std::atomic<bool> changed = false;
            options.reading.beforeOpen = [&](const std::string& path) {
                if (path == "app.bin" && ++opened == way.open && change.beforeOpening &&
                    !changed.exchange(true))
                    change.apply(file);
            };
            options.reading.afterRead = [&](const std::string& path, std::uint64_t read) {
                if (path == "app.bin" && opened == way.open && read >= way.changedAfter &&
                    !change.beforeOpening && !changed.exchange(true))
                    change.apply(file);
            };
            const auto result = archiver::storeFolder(dir / "a.lzh", dir / "src/", options);
            ASSERT_TRUE(changed) << what << ": the file was not read as planned";
            EXPECT_EQ(result.code, ArchiverReadError) << what;
            EXPECT_TRUE(readFile(dir / "a.lzh") == before) << what << ": the old archive changed";
            EXPECT_EQ(listFolder(dir.path()), (std::vector<std::string>{"a.lzh", "src"}))
                << what;

            ASSERT_EQ(archiver::storeFolder(dir / "a.lzh", dir / "src/", {}).code, ArchiverOk)
                << what;
            ASSERT_EQ(Unlha(nullptr, expandCommand(dir / "a.lzh", dir / "out"), nullptr, 0),
                      ArchiverOk);
            EXPECT_EQ(readTree(dir / "out"), readTree(dir / "src")) << what;
        }
    }
}

TEST(StoreFaults, archiveKeptInsideItsOwnFolderIsNeverStoredIntoItself) {
    TempDir dir;
    writeFile(dir / "src/a.txt", randomData(20000, 7, 16));
    makeDirs(dir / "src/pack");
    const std::string archive = dir / "src/pack/app.lzh";
    auto members = [&] {
        std::vector<std::string> paths;
        for (const auto& m : archiver::readArchiveIndex(archive).members)
            paths.push_back(m.path);
        return paths;
    };
    // The lock file is left out; a user's file that is only named like a temporary is not.
    const std::vector<std::string> expected = {"a.txt", "pack", "pack/.app.lzh.4242.AbCdEf"};
    writeFile(dir / "src/pack/.app.lzh.4242.AbCdEf", "the user's");
    ASSERT_EQ(Unlha(nullptr, storeCommand(archive, dir / "src"), nullptr, 0), ArchiverOk);
    const auto size = std::filesystem::file_size(archive);
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(Unlha(nullptr, storeCommand(archive, dir / "src"), nullptr, 0), ArchiverOk);
    EXPECT_EQ(members(), expected);
    EXPECT_EQ(std::filesystem::file_size(archive), size);
    EXPECT_EQ(VerifyArchive(archive, dir / "src/"), ArchiverOk);
    // Nor under another name of the same file.
    ASSERT_EQ(::link(archive.c_str(), (dir / "src/same.lzh").c_str()), 0);
    ASSERT_EQ(Unlha(nullptr, storeCommand(archive, dir / "src"), nullptr, 0), ArchiverOk);
    EXPECT_EQ(members(), expected);
}

// Only the temporary that a killed store recorded under the lock is its own for sure: files
// named like temporaries, beside the archive or in the folder being stored, are a user's.
TEST(StoreFaults, temporaryOfAKilledStoreIsRemovedByTheNextOneAndLookalikesAreLeftAlone) {
    TempDir dir;
    writeFile(dir / "src/data.bin", randomData(100000, 3));
    const std::string archive = dir / "a.lzh";
    auto temporaries = [&] {
        std::vector<std::string> names;
        for (const auto& name : listFolder(dir.path()))
            if (name.rfind(".a.lzh.", 0) == 0 && name != ".a.lzh.lock")
                names.push_back(name);
        return names;
    };
    // Killed once it has made its temporary, as it is about to read the folder's first file.
    int opening[2];
    ASSERT_EQ(::pipe(opening), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        archiver::StoreOptions options;
        options.threads = 1;
        options.reading.beforeOpen = [&](const std::string&) {
            const char byte = 1;
            if (::write(opening[1], &byte, 1) == 1)
                ::pause();
            ::_exit(1);
        };
        archiver::storeFolder(archive, dir / "src/", options);
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ::close(opening[1]);
    char byte = 0;
    const bool opened = ::read(opening[0], &byte, 1) == 1;
    ::close(opening[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(opened) << "the store ended before it opened a file";
    ASSERT_EQ(temporaries().size(), 1u) << "the store ended before it could be killed";

    // One of a writer that is gone, one of a writer that lives (this process).
    std::vector<std::string> lookalikes = {".a.lzh." + std::to_string(::getpid()) + ".LiVeOn",
                                           ".a.lzh.99999.AbCdEf"};
    std::sort(lookalikes.begin(), lookalikes.end());
    for (const auto& name : lookalikes) {
        writeFile(dir / name, "the user's");
        writeFile(dir / ("src/" + name), "the user's");
    }
    for (int store = 0; store < 2; ++store) {
        ASSERT_EQ(Unlha(nullptr, storeCommand(archive, dir / "src"), nullptr, 0), ArchiverOk);
        EXPECT_EQ(temporaries(), lookalikes);
        for (const auto& name : lookalikes)
            EXPECT_EQ(readFile(dir / ("src/" + name)), "the user's") << name;
    }
    EXPECT_EQ(VerifyArchive(archive, dir / "src/"), ArchiverOk);
}

namespace {

// Blocks until waiting is ready; fails at once when the call that should wait ends instead.
template <typename T>
void expectWaits(std::future<void>& waiting, std::future<T>& call, const char* what) {
    while (waiting.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        if (call.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            ADD_FAILURE() << what << " did not wait";
            return;
        }
    }
}

// Reports the first time a call says it waits (no member, 0 of 0 bytes).
auto reportsWaiting(std::promise<void>& waits) {
    return [&waits, told = false](const std::string& member, std::uint64_t, std::uint64_t total) mutable {
        if (member.empty() && total == 0 && !std::exchange(told, true))
            waits.set_value();
    };
}

std::vector<std::string> memberPaths(const std::string& archive) {
    std::vector<std::string> paths;
    for (const auto& m : archiver::readArchiveIndex(archive).members)
        paths.push_back(m.path);
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace

// The second store starts while the first holds the archive, after it read the old one and
// before it renamed the new one over it: had both gone on, one's members would be lost.
TEST(StoreFaults, aSecondStoreIntoTheSameArchiveWaitsForTheFirstOrFails) {
    for (const bool waits : {true, false}) {
        TempDir dir;
        writeFile(dir / "first/one.txt", "from the first store");
        writeFile(dir / "second/two.txt", "from the second store");
        std::promise<void> secondWaits;
        std::future<void> waiting = secondWaits.get_future();
        std::future<archiver::StoreResult> second;
        archiver::StoreOptions firstOptions;
        firstOptions.threads = 1;
        firstOptions.reading.beforeOpen = [&](const std::string&) {
            if (second.valid())
                return;
            archiver::StoreOptions options;
            options.lockWait = waits ? std::chrono::milliseconds(std::chrono::minutes(10))
                                     : std::chrono::milliseconds(0);
            options.progress = reportsWaiting(secondWaits);
            second = std::async(std::launch::async, [&dir, options] {
                return archiver::storeFolder(dir / "a.lzh", dir / "second/", options);
            });
            if (waits)
                expectWaits(waiting, second, "the second store");
            else
                second.wait();
        };
        ASSERT_EQ(archiver::storeFolder(dir / "a.lzh", dir / "first/", firstOptions).code,
                  ArchiverOk);
        ASSERT_TRUE(second.valid());
        if (waits) {
            EXPECT_EQ(second.get().code, ArchiverOk);
            EXPECT_EQ(memberPaths(dir / "a.lzh"), (std::vector<std::string>{"one.txt", "two.txt"}));
        } else {
            EXPECT_EQ(second.get().code, ArchiverLocked);
            EXPECT_EQ(memberPaths(dir / "a.lzh"), std::vector<std::string>{"one.txt"});
        }
        EXPECT_EQ(VerifyArchive(dir / "a.lzh", dir / "first/"), ArchiverOk) << waits;
    }
}

// An expansion or a check reads an archive that no store replaces meanwhile: each waits for
// a store that holds it, and a store waits for them.
TEST(StoreFaults, expansionsAndChecksWaitForAStoreAndAStoreWaitsForThem) {
    TempDir dir;
    const std::string archive = dir / "a.lzh";
    writeFile(dir / "src/a.txt", "before");
    ASSERT_EQ(archiver::storeFolder(archive, dir / "src/", {}).code, ArchiverOk);
    writeFile(dir / "src/a.txt", "written by the store");

    std::promise<void> expansionWaits;
    std::future<void> waiting = expansionWaits.get_future();
    std::future<int> expansion;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> checkReports;
    int checked = ArchiverOk;
    archiver::StoreOptions options;
    options.reading.beforeOpen = [&](const std::string&) {
        if (expansion.valid())
            return;
        SetArchiverProgressCallback(reportsWaiting(expansionWaits));
        expansion = std::async(std::launch::async, [&] {
            return Unlha(nullptr, expandCommand(archive, dir / "out", false), nullptr, 0);
        });
        expectWaits(waiting, expansion, "the expansion");
        checked = CheckArchive(archive, [&](std::uint64_t done, std::uint64_t total) {
                      checkReports.emplace_back(done, total);
                      return false;
                  }).code;
    };
    ASSERT_EQ(archiver::storeFolder(archive, dir / "src/", options).code, ArchiverOk);
    ASSERT_TRUE(expansion.valid());
    EXPECT_EQ(expansion.get(), ArchiverOk);
    SetArchiverProgressCallback({});
    EXPECT_EQ(readFile(dir / "out/a.txt"), "written by the store");
    EXPECT_EQ(checked, ArchiverCancelled);
    EXPECT_EQ(checkReports, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{0, 0}}))
        << "the check read the archive while the store held it";

    // A reader holds the archive, as an expansion or a check does while it reads.
    archiver::ArchiveLock reader;
    ASSERT_EQ(reader.take(archive, archiver::ArchiveLock::Kind::Shared, {}), ArchiverOk);
    ASSERT_TRUE(reader.held());
    writeFile(dir / "src/a.txt", "the third version");
    const std::string before = readFile(archive);
    archiver::StoreOptions impatient;
    impatient.lockWait = std::chrono::milliseconds(0);
    EXPECT_EQ(archiver::storeFolder(archive, dir / "src/", impatient).code, ArchiverLocked);
    EXPECT_EQ(readFile(archive), before);
    archiver::StoreOptions patient;
    bool waited = false;
    patient.progress = [&](const std::string& member, std::uint64_t, std::uint64_t total) {
        if (member.empty() && total == 0 && !std::exchange(waited, true))
            reader.release();
    };
    EXPECT_EQ(archiver::storeFolder(archive, dir / "src/", patient).code, ArchiverOk);
    EXPECT_TRUE(waited);
    EXPECT_EQ(VerifyArchive(archive, dir / "src/"), ArchiverOk);
}

namespace {

// The user's lock folder inside a test's own folder, for as long as it lives.
class LockFolderIn {
public:
    explicit LockFolderIn(const std::string& cacheHome) {
        if (const char* old = std::getenv("XDG_CACHE_HOME"))
            m_old = old;
        ::setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
    }
    ~LockFolderIn() {
        if (m_old)
            ::setenv("XDG_CACHE_HOME", m_old->c_str(), 1);
        else
            ::unsetenv("XDG_CACHE_HOME");
    }

private:
    std::optional<std::string> m_old;
};

std::vector<std::string> warningsOf(const std::string& archive, const std::string& folder,
                                    int& code) {
    std::vector<std::string> warnings;
    archiver::StoreOptions options;
    options.warning = [&](const std::string& w) { warnings.push_back(w); };
    code = archiver::storeFolder(archive, folder, options).code;
    return warnings;
}

} // namespace

// Whatever stands under an archive's lock file name is never used: a link or a second name of
// a user's file is never written through, a FIFO never hangs a store, a folder is kept, and
// none of them fails the stores after it. The lock file goes once the store is over.
TEST(StoreFaults, aLockFileThatIsNoPlainFileIsSetAsideAndNeverUsed) {
    const struct {
        const char* what;
        std::function<void(const std::string& lock, const std::string& users)> plant;
        bool refused;
    } rows[] = {
        {"nothing", [](const std::string&, const std::string&) {}, false},
        {"a lock file an earlier store left",
         [](const std::string& lock, const std::string&) { writeFile(lock, ""); }, false},
        {"a symbolic link to a user's file",
         [](const std::string& lock, const std::string& users) { makeSymlink(users, lock); }, true},
        {"a second name of a user's file",
         [](const std::string& lock, const std::string& users) {
             ASSERT_EQ(::link(users.c_str(), lock.c_str()), 0);
         },
         true},
        {"a FIFO",
         [](const std::string& lock, const std::string&) { ASSERT_EQ(::mkfifo(lock.c_str(), 0600), 0); },
         true},
        {"a folder holding a file",
         [](const std::string& lock, const std::string&) { writeFile(lock + "/inside.txt", "kept"); },
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const LockFolderIn cache(dir / "cache");
        writeFile(dir / "src/a.txt", "a");
        writeFile(dir / "users.txt", "the user's");
        const std::string archive = dir / "a.lzh";
        const std::string lock = ArchiveLockPath(archive);
        ASSERT_EQ(lock.rfind(dir / "cache/vadok/locks/", 0), 0u) << lock;
        row.plant(lock, dir / "users.txt");

        int code = -1;
        const auto warnings = warningsOf(archive, dir / "src/", code);
        EXPECT_EQ(code, ArchiverOk);
        EXPECT_EQ(warnings.size(), row.refused ? 1u : 0u);
        if (row.refused && !warnings.empty()) {
            EXPECT_NE(warnings[0].find("not a lock file"), std::string::npos) << warnings[0];
        }
        EXPECT_EQ(readFile(dir / "users.txt"), "the user's");
        EXPECT_TRUE(warningsOf(archive, dir / "src/", code).empty());
        EXPECT_EQ(code, ArchiverOk);
        EXPECT_EQ(Unlha(nullptr, expandCommand(archive, dir / "out"), nullptr, 0), ArchiverOk);

        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(lock)));
        std::vector<std::string> kept;
        for (const auto& name : listFolder(dir / "cache/vadok/locks"))
            kept.push_back(readFile(dir / ("cache/vadok/locks/" + name + "/inside.txt")));
        EXPECT_EQ(kept, std::string(row.what) == "a folder holding a file"
                            ? std::vector<std::string>{"kept"}
                            : std::vector<std::string>{});
        EXPECT_EQ(listFolder(dir.path()),
                  (std::vector<std::string>{"a.lzh", "cache", "out", "src", "users.txt"}));
    }
}

// Reading an archive leaves nothing beside it, and nothing in the lock folder once it is
// over: registering an archive of the user's must not write into the user's folder.
TEST(StoreFaults, readersLeaveNothingBesideTheArchiveOrInTheLockFolder) {
    TempDir dir;
    const LockFolderIn cache(dir / "cache");
    writeFile(dir / "src/a.txt", "a");
    const std::string archive = dir / "apps/jtool.lzh";
    makeDirs(dir / "apps");
    ASSERT_EQ(archiver::storeFolder(archive, dir / "src/", {}).code, ArchiverOk);
    EXPECT_EQ(Unlha(nullptr, expandCommand(archive, dir / "out"), nullptr, 0), ArchiverOk);
    EXPECT_EQ(CheckArchive(archive).code, ArchiverOk);
    EXPECT_EQ(VerifyArchive(archive, dir / "out/"), ArchiverOk);
    EXPECT_EQ(ReadArchiveSizes(archive).code, ArchiverOk);
    EXPECT_EQ(ReadArchiveMembers(archive, false, 100, [](const std::string&) { return true; },
                                 [](const std::string&, std::string&&) { return true; }),
              ArchiverOk);
    EXPECT_EQ(listFolder(dir / "apps"), std::vector<std::string>{"jtool.lzh"});
    EXPECT_EQ(listFolder(dir / "cache/vadok/locks"), std::vector<std::string>{});
}

// Two processes exclude each other on one archive through the lock folder they share.
TEST(StoreFaults, aLockHeldByAnotherProcessKeepsTheArchiveFromAStoreHere) {
    TempDir dir;
    const LockFolderIn cache(dir / "cache");
    writeFile(dir / "src/a.txt", "a");
    const std::string archive = dir / "a.lzh";
    ASSERT_EQ(archiver::storeFolder(archive, dir / "src/", {}).code, ArchiverOk);
    int held[2];
    ASSERT_EQ(::pipe(held), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        archiver::ArchiveLock lock;
        const char byte = lock.take(archive, archiver::ArchiveLock::Kind::Shared, {}) == ArchiverOk ? 1 : 0;
        if (::write(held[1], &byte, 1) == 1)
            ::pause();
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ::close(held[1]);
    char byte = 0;
    const bool told = ::read(held[0], &byte, 1) == 1;
    ::close(held[0]);
    archiver::StoreOptions impatient;
    impatient.lockWait = std::chrono::milliseconds(0);
    const int whileHeld = archiver::storeFolder(archive, dir / "src/", impatient).code;
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(told && byte == 1) << "the other process took no lock";
    EXPECT_EQ(whileHeld, ArchiverLocked);
    EXPECT_EQ(archiver::storeFolder(archive, dir / "src/", impatient).code, ArchiverOk);
}

// The lock file an earlier version kept beside an archive goes with the next store, and the
// temporary of a killed store it names with it; a file of that name that is not one stays.
TEST(StoreFaults, aLockFileAnEarlierVersionLeftBesideTheArchiveGoesUnlessItIsNotOne) {
    const struct {
        const char* what;
        std::string content;
        bool removed;
    } rows[] = {
        {"empty", "", true},
        {"naming a killed store's temporary", ".a.lzh.99999.AbCdEf\n", true},
        {"holding the user's text", "my notes\n", false},
        {"naming a temporary and more", ".a.lzh.99999.AbCdEf\nmore\n", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const LockFolderIn cache(dir / "cache");
        writeFile(dir / "src/a.txt", "a");
        writeFile(dir / ".a.lzh.lock", row.content);
        writeFile(dir / ".a.lzh.99999.AbCdEf", "a killed store's");
        ASSERT_EQ(archiver::storeFolder(dir / "a.lzh", dir / "src/", {}).code, ArchiverOk);
        EXPECT_EQ(std::filesystem::exists(dir / ".a.lzh.lock"), !row.removed);
        EXPECT_EQ(std::filesystem::exists(dir / ".a.lzh.99999.AbCdEf"),
                  !row.removed || row.content.empty());
    }
}

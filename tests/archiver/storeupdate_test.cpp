// What a re-store copies from the old archive and what it compresses anew. Copying is only
// right when the file is what the member holds and the member's data is sound; these cases
// break one or the other the way unpackers, builds and failing disks do.

#include "archivertestsupport.h"
#include "rawarchive.h"

#include "archiver/archiver.h"
#include "archiver/lzh/lzhheaderreader.h"
#include "archiver/store/storejob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <time.h>
#include <unistd.h>

using namespace vadok;
using namespace vadok::test;

namespace {

archiver::StoreResult store(const std::string& archive, const std::string& folder) {
    return archiver::storeFolder(archive, folder + "/", {});
}
int expand(const std::string& archive, const std::string& folder) {
    return Unlha(nullptr, expandCommand(archive, folder), nullptr, 0);
}

// Same size, same second, other bytes: what an unpacker or a reproducible build leaves.
void rewriteKeepingSizeAndTime(const std::string& path) {
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    std::string content = readFile(path);
    content[content.size() / 2] = static_cast<char>(content[content.size() / 2] ^ 0x5A);
    writeFile(path, content);
    setMtime(path, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

// Flips a byte of a member's stored data in place, leaving the archive's times as they were,
// as a failing disk would.
void damageMember(const std::string& archive, const std::string& member) {
    struct stat st {};
    ASSERT_EQ(::stat(archive.c_str(), &st), 0);
    for (const auto& m : archiver::readArchiveIndex(archive).members) {
        if (m.path != member)
            continue;
        std::string bytes = readFile(archive);
        bytes[m.dataOffset + m.compressedSize / 2] ^= 0x10;
        writeFile(archive, bytes);
        setMtime(archive, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        return;
    }
    FAIL() << member << " is not in " << archive;
}

// Returns once the clock a store or an expansion takes its moment from (the kernel's coarse
// clock) has passed the status-change time of everything changed so far: a file changed
// before this then counts as older than the next moment. The scratch file, changed last,
// carries the latest such time (file systems with fine-grained times may hand out one ahead
// of the coarse clock). Waits for that fact, not for a guessed time, so a loaded machine
// only makes it slower.
void waitForTheFileClockToPassEarlierChanges(const std::string& scratch) {
    writeFile(scratch, "");
    struct stat st {};
    ASSERT_EQ(::stat(scratch.c_str(), &st), 0);
    struct timespec now {};
    do {
        std::this_thread::yield();
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    } while (now.tv_sec < st.st_ctim.tv_sec ||
             (now.tv_sec == st.st_ctim.tv_sec && now.tv_nsec <= st.st_ctim.tv_nsec));
}

void makeApp(const std::string& folder) {
    for (int i = 0; i < 6; ++i)
        writeFile(folder + "/lib/f" + std::to_string(i) + ".bin",
                  randomData(30000, static_cast<unsigned>(i), 10));
    writeFile(folder + "/app.bin", randomData(50000, 9, 12));
}

} // namespace

TEST(StoreUpdate, fileChangedWithoutChangingSizeOrSecondIsStoredAnew) {
    using Step = std::function<void(const TempDir& dir, std::string& folder)>;
    struct Case {
        const char* name;
        Step change;
    };
    const Case cases[] = {
        {"changed in the folder the last store read",
         [](const TempDir& dir, std::string& folder) {
             folder = dir / "src";
             rewriteKeepingSizeAndTime(folder + "/lib/f2.bin");
         }},
        {"changed after an expansion",
         [](const TempDir& dir, std::string& folder) {
             folder = dir / "expanded";
             ASSERT_EQ(expand(dir / "a.lzh", folder), ArchiverOk);
             rewriteKeepingSizeAndTime(folder + "/lib/f2.bin");
         }},
        {"a folder moved in whose files are older than the expansion",
         [](const TempDir& dir, std::string& folder) {
             folder = dir / "expanded";
             makeDirs(dir / "newer");
             ASSERT_EQ(run("cp -a " + quote(dir / "src/lib") + " " + quote(dir / "newer/lib")), 0);
             rewriteKeepingSizeAndTime(dir / "newer/lib/f2.bin");
             // The file itself then counts as older than the expansion: only the folder
             // moved in tells that it may differ.
             waitForTheFileClockToPassEarlierChanges(dir / "tick");
             ASSERT_EQ(expand(dir / "a.lzh", folder), ArchiverOk);
             std::filesystem::remove_all(folder + "/lib");
             std::filesystem::rename(dir / "newer/lib", folder + "/lib");
         }},
        {"changed in a folder that keeps no stamp",
         [](const TempDir& dir, std::string& folder) {
             folder = dir / "src";
             ::removexattr(folder.c_str(), "user.vadok.synced");
             rewriteKeepingSizeAndTime(folder + "/lib/f2.bin");
         }},
    };
    for (const auto& c : cases) {
        TempDir dir;
        makeApp(dir / "src");
        ASSERT_EQ(store(dir / "a.lzh", dir / "src").code, ArchiverOk);
        std::string folder;
        c.change(dir, folder);
        const auto result = store(dir / "a.lzh", folder);
        ASSERT_EQ(result.code, ArchiverOk) << c.name;
        EXPECT_EQ(result.compressed, 1u) << c.name;
        EXPECT_EQ(result.copied, 6u) << c.name;
        ASSERT_EQ(expand(dir / "a.lzh", dir / "check"), ArchiverOk) << c.name;
        EXPECT_EQ(readFile(dir / "check/lib/f2.bin"), readFile(folder + "/lib/f2.bin")) << c.name;
    }
}

TEST(StoreUpdate, damagedMemberIsCompressedAgainFromTheFolderAndNeverCopied) {
    for (const bool expanded : {false, true}) {
        TempDir dir;
        makeApp(dir / "src");
        // Older than the store, the files count as unchanged: the damage must be found in
        // the archive alone.
        waitForTheFileClockToPassEarlierChanges(dir / "tick");
        ASSERT_EQ(store(dir / "a.lzh", dir / "src").code, ArchiverOk);
        std::string folder = dir / "src";
        if (expanded) {
            folder = dir / "expanded";
            ASSERT_EQ(expand(dir / "a.lzh", folder), ArchiverOk);
        }
        damageMember(dir / "a.lzh", "lib/f3.bin");
        const auto result = store(dir / "a.lzh", folder);
        ASSERT_EQ(result.code, ArchiverOk) << expanded;
        EXPECT_EQ(result.compressed, 1u) << expanded;
        ASSERT_EQ(expand(dir / "a.lzh", dir / "check"), ArchiverOk) << expanded;
        EXPECT_EQ(readTree(dir / "check"), readTree(dir / "src")) << expanded;
    }
}

// The old archive is checked while the folder is scanned and copied later: another program
// writing into it in between must not get its bytes into the new archive under a CRC-32 that
// no longer holds. Damaged once the file before it is written (app.bin, whose compression
// may start while the old archive is still read), lib/f3.bin is copied after that.
TEST(StoreUpdate, memberDamagedAfterItsCheckIsCaughtBeforeTheArchiveIsReplaced) {
    TempDir dir;
    makeApp(dir / "src");
    waitForTheFileClockToPassEarlierChanges(dir / "tick");
    ASSERT_EQ(store(dir / "a.lzh", dir / "src").code, ArchiverOk);
    writeFile(dir / "src/app.bin", randomData(40000, 11, 12));
    archiver::StoreOptions options;
    std::string damaged;
    options.progress = [&](const std::string& path, std::uint64_t, std::uint64_t) {
        if (path == "app.bin" && damaged.empty()) {
            damageMember(dir / "a.lzh", "lib/f3.bin");
            damaged = readFile(dir / "a.lzh");
        }
    };
    const auto result = archiver::storeFolder(dir / "a.lzh", dir / "src/", options);
    ASSERT_FALSE(damaged.empty());
    EXPECT_EQ(result.code, ArchiverVerifyFailed) << result.error;
    EXPECT_TRUE(readFile(dir / "a.lzh") == damaged) << "the archive was replaced";
    EXPECT_EQ(listFolder(dir.path()), (std::vector<std::string>{"a.lzh", "src", "tick"}));
}

TEST(StoreUpdate, damagedMemberOfAnotherWriterIsFoundByDecodingIt) {
    if (!haveProgram("jlha"))
        GTEST_FAIL() << "jlha missing: scripts/setup installs jlha-utils";
    TempDir dir;
    makeApp(dir / "src");
    ASSERT_EQ(run("cd " + quote(dir / "src") + " && jlha a2o7 ../a.lzh app.bin lib >/dev/null 2>&1"),
              0);
    // Expanded, so that the folder holds a stamp of the archive and is taken as unchanged.
    ASSERT_EQ(expand(dir / "a.lzh", dir / "expanded"), ArchiverOk);
    damageMember(dir / "a.lzh", "app.bin");
    const auto result = store(dir / "a.lzh", dir / "expanded");
    ASSERT_EQ(result.code, ArchiverOk);
    ASSERT_EQ(expand(dir / "a.lzh", dir / "check"), ArchiverOk);
    EXPECT_EQ(readFile(dir / "check/app.bin"), readFile(dir / "src/app.bin"));
}

TEST(StoreUpdate, damagedMemberTheFolderNoLongerHasFailsTheStoreAndStays) {
    TempDir dir;
    makeApp(dir / "src");
    ASSERT_EQ(store(dir / "a.lzh", dir / "src").code, ArchiverOk);
    std::filesystem::remove(dir / "src/lib/f3.bin");
    damageMember(dir / "a.lzh", "lib/f3.bin");
    const std::string before = readFile(dir / "a.lzh");
    EXPECT_EQ(store(dir / "a.lzh", dir / "src").code, ArchiverBrokenArchive);
    EXPECT_EQ(readFile(dir / "a.lzh"), before);
    EXPECT_EQ(listFolder(dir.path()), (std::vector<std::string>{"a.lzh", "src"}))
        << "a temporary stayed behind";
}

// A folder's stamp vouches for its files only against the archive it names. Here src is
// stamped for a.lzh, and b.lzh holds a copy of src with one file changed in place (same
// size and times): storing src into b.lzh must not take b.lzh's member for src's file.
// Members follow the folder as the scan meets it: each folder before its contents, names in
// byte order (not the locale's, not signed chars'), so that the members of an unchanged
// folder come back in the order the old archive holds them and are copied as they lie, in
// one piece with the folders and links among them.
TEST(StoreUpdate, membersFollowTheFolderInByteOrder) {
    TempDir dir;
    for (const char* name :
         {"b.txt", "\xC3\xA9.txt", "~.txt", "ab.txt", "a.txt", "Z.txt", "a/x.txt"})
        writeFile(dir / (std::string("src/") + name), name);
    ASSERT_EQ(::symlink("b.txt", (dir / "src/link").c_str()), 0);
    ASSERT_EQ(store(dir / "a.lzh", dir / "src").code, ArchiverOk);
    std::vector<std::string> paths;
    for (const auto& m : archiver::readArchiveIndex(dir / "a.lzh").members)
        paths.push_back(m.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"Z.txt", "a", "a/x.txt", "a.txt", "ab.txt", "b.txt",
                                               "link", "~.txt", "\xC3\xA9.txt"}));
    const std::string before = readFile(dir / "a.lzh");
    const archiver::StoreResult again = store(dir / "a.lzh", dir / "src");
    ASSERT_EQ(again.code, ArchiverOk) << again.error;
    EXPECT_EQ(again.compressed, 0u);
    EXPECT_EQ(again.copied, 7u);
    EXPECT_EQ(again.copyRanges, 1u);
    EXPECT_TRUE(readFile(dir / "a.lzh") == before);
}

// An archive another writer appended to holds a name twice; an expansion leaves the last.
// The folder's file is compared with that one, and the earlier one goes with it rather than
// being kept as a member the folder no longer has. Tried with other names around it, as
// names whose hashes meet share their probe.
TEST(StoreUpdate, aNameHeldTwiceIsComparedWithItsLastMemberAndStoredOnce) {
    TempDir dir;
    const std::uint32_t when = 1700000000;
    std::vector<LzhEntry> entries;
    for (int i = 0; i < 40; ++i)
        entries.push_back({.name = "lib/f" + std::to_string(i),
                           .data = std::string(static_cast<std::size_t>(i + 1), 'x'),
                           .unixTime = when});
    entries.insert(entries.begin() + 7, {.name = "app.bin", .data = "old version", .unixTime = when});
    entries.push_back({.name = "app.bin", .data = "new version", .unixTime = when});
    writeFile(dir / "a.lzh", lzhArchive(entries));
    ASSERT_EQ(expand(dir / "a.lzh", dir / "src"), ArchiverOk);
    ASSERT_EQ(readFile(dir / "src/app.bin"), "new version");
    // Without the expansion's stamp every file is compared with its member.
    ASSERT_EQ(::removexattr((dir / "src").c_str(), "user.vadok.synced"), 0);
    const auto result = store(dir / "a.lzh", dir / "src");
    ASSERT_EQ(result.code, ArchiverOk) << result.error;
    EXPECT_EQ(result.compressed, 0u);
    EXPECT_EQ(result.copied, 41u);
    std::vector<std::string> apps;
    for (const auto& m : archiver::readArchiveIndex(dir / "a.lzh").members)
        if (m.path == "app.bin")
            apps.push_back(m.path);
    EXPECT_EQ(apps.size(), 1u);
    ASSERT_EQ(expand(dir / "a.lzh", dir / "check"), ArchiverOk);
    EXPECT_EQ(readTree(dir / "check"), readTree(dir / "src"));
}

TEST(StoreUpdate, aStampOfAnotherArchiveIsNotTrusted) {
    TempDir dir;
    makeApp(dir / "src");
    waitForTheFileClockToPassEarlierChanges(dir / "tick");
    ASSERT_EQ(store(dir / "a.lzh", dir / "src").code, ArchiverOk);
    ASSERT_EQ(run("cp -a " + quote(dir / "src") + " " + quote(dir / "copy")), 0);
    rewriteKeepingSizeAndTime(dir / "copy/lib/f2.bin");
    ASSERT_EQ(store(dir / "b.lzh", dir / "copy").code, ArchiverOk);

    ASSERT_EQ(store(dir / "b.lzh", dir / "src").code, ArchiverOk);
    ASSERT_EQ(expand(dir / "b.lzh", dir / "check"), ArchiverOk);
    EXPECT_EQ(readFile(dir / "check/lib/f2.bin"), readFile(dir / "src/lib/f2.bin"));
}

// The files a store compresses start while the scan still goes on. The scan is held at the
// last file it meets until app.bin has been opened for compressing, however long that takes
// on a busy machine: a store that compressed only after its scan would never let it go on,
// and hangs until ctest's timeout reports it.
TEST(StoreUpdate, filesToCompressStartWhileTheScanGoesOn) {
    const struct {
        const char* name;
        bool stored;      // an old archive: app.bin changed since
        bool keepsStamp;  // the folder's stamp vouches for the other files
    } cases[] = {
        {"a new archive", false, false},
        {"a re-store with the folder's stamp", true, true},
        {"a re-store without a stamp", true, false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        makeApp(dir / "src");
        if (c.stored) {
            waitForTheFileClockToPassEarlierChanges(dir / "tick");
            ASSERT_EQ(store(dir / "a.lzh", dir / "src").code, ArchiverOk) << c.name;
            writeFile(dir / "src/app.bin", randomData(50001, 99, 12));
            if (!c.keepsStamp) {
                ASSERT_EQ(::removexattr((dir / "src").c_str(), "user.vadok.synced"), 0) << c.name;
            }
        }
        // The header of a file compressed early is the plan's, with the file's own mode.
        ASSERT_EQ(::chmod((dir / "src/app.bin").c_str(), 0751), 0);
        std::mutex mutex;
        std::condition_variable opened;
        bool appOpened = false;
        bool scanWaited = false;
        archiver::StoreOptions options;
        options.reading.beforeOpen = [&](const std::string& path) {
            std::lock_guard lock(mutex);
            appOpened = appOpened || path == "app.bin";
            opened.notify_all();
        };
        options.scanned = [&](const std::string& path) {
            if (path != "lib/f5.bin")
                return;
            std::unique_lock lock(mutex);
            opened.wait(lock, [&] { return appOpened; });
            scanWaited = true;
        };
        const auto result = archiver::storeFolder(dir / "a.lzh", dir / "src/", options);
        ASSERT_EQ(result.code, ArchiverOk) << c.name << ": " << result.error;
        EXPECT_TRUE(scanWaited) << c.name << ": app.bin was not opened before the scan ended";
        EXPECT_EQ(result.compressed, c.stored ? 1u : 7u) << c.name;
        ASSERT_EQ(expand(dir / "a.lzh", dir / "check"), ArchiverOk) << c.name;
        EXPECT_EQ(readTree(dir / "check"), readTree(dir / "src")) << c.name;
        struct stat st {};
        ASSERT_EQ(::stat((dir / "check/app.bin").c_str(), &st), 0) << c.name;
        EXPECT_EQ(st.st_mode & 07777, 0751u) << c.name;
    }
}

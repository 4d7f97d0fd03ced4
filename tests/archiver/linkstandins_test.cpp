// File systems without symbolic links (exFAT and FAT on USB sticks and SD cards): an
// expansion puts a copy of what each link leads to in its place, and a store from there
// writes the links back. Every case runs on a file system that refuses links, through the
// seam on any machine and, where the machine can mount one, on a real exFAT image.

#include "archivertestsupport.h"
#include "rawarchive.h"
#include "support/exfatimage.h"

#include "archiver/archiver.h"
#include "archiver/freespace.h"
#include "archiver/linkstandins.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace vadok;
using namespace vadok::test;
namespace fs = std::filesystem;

namespace {

class LinksRefused {
public:
    LinksRefused() { archiver::refuseLinksForTesting(true); }
    ~LinksRefused() { archiver::refuseLinksForTesting(false); }
};

// An application whose links lead to a file, a folder, another link, nothing, the
// application itself and a folder above the link.
void makeApplication(const std::string& root) {
    writeFile(root + "/bin/tool", "#!/bin/sh\necho tool\n", 0755);
    writeFile(root + "/data/a.txt", "a");
    writeFile(root + "/data/sub/b.txt", "b");
    makeSymlink("bin/tool", root + "/tool");
    makeSymlink("data", root + "/d");
    makeSymlink("tool", root + "/chain");
    makeSymlink("missing.txt", root + "/dangling");
    makeSymlink(".", root + "/self");
    makeSymlink("..", root + "/data/up");
}

bool isPlainFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isPlainFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Expands the archive of src into out where links are refused (by the seam, or by the file
// system out lies on), stores out back, and expands that on this machine's file system.
void roundTrip(const std::string& src, const std::string& out, const std::string& scratch,
               bool useSeam) {
    const std::string archive = scratch + "/app.lzh";
    ASSERT_EQ(Unlha(nullptr, storeCommand(archive, src), nullptr, 0), ArchiverOk);
    {
        std::optional<LinksRefused> refused;
        if (useSeam)
            refused.emplace();
        ASSERT_EQ(Unlha(nullptr, expandCommand(archive, out), nullptr, 0), ArchiverOk);
        EXPECT_TRUE(isPlainFile(out + "/tool"));
        EXPECT_EQ(readFile(out + "/tool"), "#!/bin/sh\necho tool\n");
        EXPECT_TRUE(isPlainFile(out + "/chain"));
        EXPECT_EQ(readFile(out + "/chain"), "#!/bin/sh\necho tool\n");
        EXPECT_TRUE(isPlainFolder(out + "/d"));
        EXPECT_EQ(readFile(out + "/d/sub/b.txt"), "b");
        EXPECT_FALSE(fs::exists(fs::symlink_status(out + "/dangling")));
        EXPECT_FALSE(fs::exists(fs::symlink_status(out + "/self")));
        ASSERT_EQ(Unlha(nullptr, storeCommand(archive, out), nullptr, 0), ArchiverOk);
    }
    const std::string again = scratch + "/again";
    ASSERT_EQ(Unlha(nullptr, expandCommand(archive, again), nullptr, 0), ArchiverOk);
    EXPECT_EQ(readTree(again, false), readTree(src, false));
}

} // namespace

TEST(LinkStandIns, linksBecomeCopiesOfWhatTheyLeadToAndStoreBackAsTheSameLinks) {
    for (const unsigned threads : kExpandThreads) {
        SCOPED_TRACE(threads);
        TempDir dir;
        makeApplication(dir / "src");
        roundTrip(dir / "src", dir / "out", dir.path(), true);
        // A ZIP's links, written in member order by another writer, stand in the same way.
        const std::string zip = dir / "app.zip";
        writeRawZip(zip, {{"bin/tool", "#!/bin/sh\n", ""}, {"tool", "", "bin/tool"},
                          {"data/a.txt", "a", ""}, {"d", "", "data"}});
        LinksRefused refused;
        ASSERT_EQ(expandWithThreads(zip, dir / "zipout", true, threads), ArchiverOk);
        EXPECT_EQ(readFile(dir / "zipout/tool"), "#!/bin/sh\n");
        EXPECT_EQ(readFile(dir / "zipout/d/a.txt"), "a");
    }
}

TEST(LinkStandIns, aChangedStandInIsStoredAsItNowIsAndNothingWrittenToItIsLost) {
    TempDir dir;
    makeApplication(dir / "src");
    const std::string archive = dir / "app.lzh";
    ASSERT_EQ(Unlha(nullptr, storeCommand(archive, dir / "src"), nullptr, 0), ArchiverOk);
    {
        LinksRefused refused;
        ASSERT_EQ(Unlha(nullptr, expandCommand(archive, dir / "out"), nullptr, 0), ArchiverOk);
    }
    writeFile(dir / "out/tool", "#!/bin/sh\necho changed\n", 0755);
    writeFile(dir / "out/d/new.txt", "new");
    ASSERT_EQ(Unlha(nullptr, storeCommand(archive, dir / "out"), nullptr, 0), ArchiverOk);
    ASSERT_EQ(Unlha(nullptr, expandCommand(archive, dir / "again"), nullptr, 0), ArchiverOk);
    EXPECT_TRUE(isPlainFile(dir / "again/tool"));
    EXPECT_EQ(readFile(dir / "again/tool"), "#!/bin/sh\necho changed\n");
    EXPECT_EQ(readFile(dir / "again/d/new.txt"), "new");
    // The links whose stand-ins were left alone are links again; the list is never stored.
    EXPECT_TRUE(fs::is_symlink(dir / "again/chain"));
    EXPECT_TRUE(fs::is_symlink(dir / "again/dangling"));
    EXPECT_FALSE(fs::exists(dir / "again/" + archiver::kStandInListName));
}

// Only a list an expansion wrote is left out of a store: a file of the application that
// merely has its name is the user's.
TEST(LinkStandIns, aFileThatOnlyHasTheListsNameIsStoredLikeAnyOther) {
    TempDir dir;
    writeFile(dir / ("src/" + std::string(archiver::kStandInListName)), "the user's notes");
    const std::string archive = dir / "app.lzh";
    ASSERT_EQ(Unlha(nullptr, storeCommand(archive, dir / "src"), nullptr, 0), ArchiverOk);
    ASSERT_EQ(Unlha(nullptr, expandCommand(archive, dir / "out"), nullptr, 0), ArchiverOk);
    EXPECT_EQ(readFile(dir / ("out/" + std::string(archiver::kStandInListName))), "the user's notes");
}

TEST(LinkStandIns, anExfatStickRoundTripsAnApplicationWithLinks) {
    TempDir dir;
    ExfatImage stick(dir.path());
    if (!stick.mounted())
        GTEST_SKIP() << "no exFAT file system to be had here: " << stick.why();
    makeApplication(dir / "src");
    roundTrip(dir / "src", stick.mount() + "/Exec/app", dir.path(), false);
}

TEST(FreeSpace, aFileSystemThatReportsNoSizeLeavesTheFreeSpaceUnknown) {
    struct statvfs fs {};
    fs.f_frsize = 4096;
    fs.f_bavail = 0;
    fs.f_blocks = 0;
    EXPECT_EQ(archiver::freeBytesOf(fs), std::nullopt);
    fs.f_blocks = 1000;
    fs.f_bavail = 10;
    EXPECT_EQ(archiver::freeBytesOf(fs), std::optional<std::uint64_t>(40960));
    fs.f_bavail = fsblkcnt_t{1} << 62; // made up by a FUSE file system: no wrap to 0
    EXPECT_EQ(archiver::freeBytesOf(fs), std::optional<std::uint64_t>(UINT64_MAX));
}

// File systems without symbolic links (exFAT and FAT on USB sticks and SD cards): an
// expansion puts a copy of what each link leads to in its place, and a store from there
// writes the links back. Every case runs on a file system that refuses links, through the
// seam on any machine and, where the machine can mount one, on a real exFAT image.

#include "archivertestsupport.h"
#include "rawarchive.h"
#include "support/exfatimage.h"

#include "archiver/archiver.h"
#include "archiver/files/freespace.h"
#include "archiver/files/linkstandins.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace vadok;
using namespace vadok::test;
namespace fs = std::filesystem;

namespace {

constexpr ArchiverSeams kLinksRefused{true};

// An application whose links lead to a file, a folder, another link, nothing, the
// application itself and a folder above the link; files and folders have modes of their own.
void makeApplication(const std::string& root) {
    writeFile(root + "/bin/tool", "#!/bin/sh\necho tool\n", 0755);
    writeFile(root + "/data/a.txt", "a", 0640);
    writeFile(root + "/data/sub/b.txt", "b");
    writeFile(root + "/readme.txt", "read me", 0600);
    makeDirs(root + "/lib");
    ::chmod((root + "/lib").c_str(), 0700);
    ::chmod((root + "/data").c_str(), 0750);
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

const std::string kStandInListNameForTests = archiver::kStandInListName;

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
    const std::vector<std::string> members = memberTable(archive);
    {
        const ArchiverSeams seams{useSeam};
        ASSERT_EQ(Unlha(expandCommand(archive, out), seams), ArchiverOk);
        EXPECT_TRUE(isPlainFile(out + "/tool"));
        EXPECT_EQ(readFile(out + "/tool"), "#!/bin/sh\necho tool\n");
        EXPECT_TRUE(isPlainFile(out + "/chain"));
        EXPECT_EQ(readFile(out + "/chain"), "#!/bin/sh\necho tool\n");
        EXPECT_TRUE(isPlainFolder(out + "/d"));
        EXPECT_EQ(readFile(out + "/d/sub/b.txt"), "b");
        EXPECT_FALSE(fs::exists(fs::symlink_status(out + "/dangling")));
        EXPECT_FALSE(fs::exists(fs::symlink_status(out + "/self")));
        ASSERT_EQ(Unlha(storeCommand(archive, out), seams), ArchiverOk);
        EXPECT_EQ(VerifyArchive(archive, out + "/"), ArchiverOk);
    }
    EXPECT_EQ(memberTable(archive), members);
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
        ASSERT_EQ(expandWithThreads(zip, dir / "zipout", true, threads, kLinksRefused), ArchiverOk);
        EXPECT_EQ(readFile(dir / "zipout/tool"), "#!/bin/sh\n");
        EXPECT_EQ(readFile(dir / "zipout/d/a.txt"), "a");
    }
}

TEST(LinkStandIns, aChangedStandInIsStoredAsItNowIsAndNothingWrittenToItIsLost) {
    TempDir dir;
    makeApplication(dir / "src");
    const std::string archive = dir / "app.lzh";
    ASSERT_EQ(Unlha(nullptr, storeCommand(archive, dir / "src"), nullptr, 0), ArchiverOk);
    ASSERT_EQ(Unlha(expandCommand(archive, dir / "out"), kLinksRefused), ArchiverOk);
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

// Expanded on the stick, carried there by another program or copied there as a folder, an
// application is stored back member by member as it was: links, and the modes of files and
// folders, which the stick keeps neither of. What was added on the stick has no mode to keep
// and gets plain ones.
TEST(LinkStandIns, anExfatStickRoundTripsAnApplicationWithLinksAndModes) {
    TempDir dir;
    ExfatImage stick(dir.path());
    if (!stick.mounted())
        GTEST_SKIP() << "no exFAT file system to be had here: " << stick.why();
    makeApplication(dir / "src");
    const std::string out = stick.mount() + "/Exec/app";
    roundTrip(dir / "src", out, dir.path(), false);

    const std::string archive = dir / "app.lzh";
    // A rebuild has no old archive to go by: the list alone keeps links and modes.
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "rebuilt.lzh", out), nullptr, 0), ArchiverOk);
    EXPECT_EQ(memberTable(dir / "rebuilt.lzh"), memberTable(archive));
    writeFile(out + "/added.txt", "added on the stick");
    writeFile(out + "/newdir/x.txt", "x");
    ASSERT_EQ(Unlha(nullptr, storeCommand(archive, out), nullptr, 0), ArchiverOk);
    const auto members = memberTable(archive);
    for (const char* row : {"added.txt f 0644", "newdir d 0755", "newdir/x.txt f 0644",
                            "readme.txt f 0600", "data d 0750", "d l 0777 -> data"})
        EXPECT_NE(std::find(members.begin(), members.end(), row), members.end()) << row;

    // Carried onto the stick by another program that followed the links, so with no list:
    // what stands where the archive holds a link, and equals what it leads to, is that link.
    writeFile(dir / "plain/bin/tool", "#!/bin/sh\n", 0755);
    writeFile(dir / "plain/data/a.txt", "a");
    makeSymlink("bin/tool", dir / "plain/tool");
    makeSymlink("data", dir / "plain/d");
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "plain.lzh", dir / "plain"), nullptr, 0), ArchiverOk);
    const auto plain = memberTable(dir / "plain.lzh");
    fs::copy(dir / "plain", stick.mount() + "/Exec/carried", fs::copy_options::recursive);
    ASSERT_TRUE(isPlainFolder(stick.mount() + "/Exec/carried/d"));
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "plain.lzh", stick.mount() + "/Exec/carried"), nullptr, 0),
              ArchiverOk);
    EXPECT_EQ(memberTable(dir / "plain.lzh"), plain);

    // Copied into the stick's execution folder as a registration copies it.
    const std::string copy = stick.mount() + "/Exec/copy";
    const FolderCopy copied = CopyFolder(dir / "src", copy);
    ASSERT_EQ(copied.code, ArchiverOk) << copied.path;
    EXPECT_EQ(readFile(copy + "/d/sub/b.txt"), "b");
    const std::string copyArchive = dir / "copy.lzh";
    ASSERT_EQ(Unlha(nullptr, storeCommand(copyArchive, dir / "src"), nullptr, 0), ArchiverOk);
    const auto registered = memberTable(copyArchive);
    ASSERT_EQ(Unlha(nullptr, storeCommand(copyArchive, copy), nullptr, 0), ArchiverOk);
    EXPECT_EQ(memberTable(copyArchive), registered);
    ASSERT_EQ(Unlha(nullptr, expandCommand(copyArchive, dir / "copyback"), nullptr, 0), ArchiverOk);
    EXPECT_EQ(readTree(dir / "copyback", false), readTree(dir / "src", false));

    // A name the stick refuses: the copy names it, says why, and leaves nothing there.
    writeFile(dir / "src/sub/what?.txt", "refused on exFAT");
    const FolderCopy refused = CopyFolder(dir / "src", stick.mount() + "/Exec/refused");
    EXPECT_EQ(refused.code, ArchiverWriteError);
    EXPECT_EQ(refused.path, "sub/what?.txt");
    EXPECT_NE(refused.error, 0);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(stick.mount() + "/Exec"))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"app", "carried", "copy"}));
}

// An archive may carry a file of the list's name (a store that went wrong, or one made to
// deceive): it is the archive's own file, stored back as it is, and what it says is never
// done, whether it lies or not. The expansion's own list goes under the next name.
TEST(LinkStandIns, aListThatCameOutOfTheArchiveIsAnOrdinaryFileAndHidesNothing) {
    const std::string nul(1, '\0');
    const struct {
        const char* what;
        std::string list;
        std::string prefix = ""; // before the list's name in the archive
    } lists[] = {
        {"lying about a folder", "vadok stand-ins 1\nLsave/." + nul + "." + nul + "0\n"},
        {"sound, making a link of an equal folder", "vadok stand-ins 2\nLsave" + nul + "data" + nul + "0\n"},
        {"damaged", "vadok stand-ins 2\nX"},
        {"damaged, named with \"./\" before it", "vadok stand-ins 2\nX", ".//./"},
    };
    for (const auto& l : lists) {
        for (const bool linksRefused : {false, true}) {
            SCOPED_TRACE(std::string(l.what) + (linksRefused ? ", links refused" : ""));
            TempDir dir;
            const std::string archive = dir / "game.lzh";
            writeRawLzh(archive, {{l.prefix + kStandInListNameForTests, l.list, ""},
                                  {"data/mygame.sav", "level 1", ""},
                                  {"save/mygame.sav", "level 1", ""}});
            const ArchiverSeams seams{linksRefused};
            ASSERT_EQ(Unlha(expandCommand(archive, dir / "out"), seams), ArchiverOk);
            EXPECT_EQ(readFile(dir / ("out/" + kStandInListNameForTests)), l.list);
            EXPECT_TRUE(isPlainFile(dir / "out/.vadok-stand-ins-2"));
            ASSERT_EQ(Unlha(storeCommand(archive, dir / "out"), seams), ArchiverOk);
            EXPECT_EQ(VerifyArchive(archive, dir / "out/"), ArchiverOk);
            ASSERT_EQ(Unlha(nullptr, expandCommand(archive, dir / "again"), nullptr, 0), ArchiverOk);
            EXPECT_EQ(readTree(dir / "again", false),
                      (Tree{{kStandInListNameForTests, {'f', l.list}},
                            {".vadok-stand-ins-2", {'f', "vadok stand-ins 2\n"}},
                            {"data", {'d', ""}},
                            {"data/mygame.sav", {'f', "level 1"}},
                            {"save", {'d', ""}},
                            {"save/mygame.sav", {'f', "level 1"}}}));
        }
    }
}

// A list is read from its bytes, and one record that is not sound makes it no list at all.
TEST(LinkStandIns, aListWithAnyRecordThatIsNotSoundIsNoList) {
    const std::string z(1, '\0');
    const std::string v2 = "vadok stand-ins 2\n";
    const struct {
        const char* what;
        std::string bytes;
        bool sound;
    } rows[] = {
        {"links and modes", v2 + "Ltool" + z + "bin/tool" + z + "7\nLd" + z + "data" + z + "0\n" +
                                "Mbin/tool" + z + "755\nDdata" + z + "750\n", true},
        {"the first version", "vadok stand-ins 1\nLtool" + z + "bin/tool" + z + "7\n", true},
        {"a link to a folder above it", v2 + "Ldata/up" + z + ".." + z + "0\n", true},
        {"no header", "Ltool" + z + "bin/tool" + z + "7\n", false},
        {"a '.' part", v2 + "Lsave/." + z + "." + z + "0\n", false},
        {"a '..' part", v2 + "L../save" + z + "x" + z + "0\n", false},
        {"an absolute path", v2 + "L/etc/x" + z + "x" + z + "0\n", false},
        {"an empty part", v2 + "La//b" + z + "x" + z + "0\n", false},
        {"an absolute target", v2 + "Lx" + z + "/etc/passwd" + z + "0\n", false},
        {"a target leading out", v2 + "Lsub/x" + z + "../../y" + z + "0\n", false},
        {"a target leading out through another link",
         v2 + "Lup" + z + "data/.." + z + "0\nLdata" + z + ".." + z + "0\nLx" + z + "up/y" + z + "0\n", false},
        {"links in a circle", v2 + "La" + z + "b" + z + "0\nLb" + z + "a" + z + "0\nLc" + z + "a/x" + z + "0\n", false},
        {"a link below a link", v2 + "Ld" + z + "data" + z + "0\nLd/x" + z + "y" + z + "0\n", false},
        {"a path listed twice", v2 + "Lx" + z + "a" + z + "0\nLx" + z + "b" + z + "0\n", false},
        {"a mode beyond the permission bits", v2 + "Mx" + z + "100644\n", false},
        {"a mode that is no number", v2 + "Mx" + z + "rw\n", false},
        {"a time that is no number", v2 + "Lx" + z + "a" + z + "soon\n", false},
        {"an unknown record", v2 + "Xx" + z + "1\n", false},
        {"a record cut short", v2 + "Lx" + z + "a", false},
    };
    for (const auto& r : rows) {
        std::string why;
        const auto list = archiver::parseStandInList(r.bytes, why);
        EXPECT_EQ(list.has_value(), r.sound) << r.what << ": " << why;
        EXPECT_EQ(why.empty(), r.sound) << r.what;
    }
}

// The check before an expanded folder is deleted reads the folder as it stands, not through
// its list: a stand-in must be what the archive's link leads to, whatever a list says.
TEST(LinkStandIns, theReadBackCheckComparesStandInsWithWhatTheArchivesLinksLeadTo) {
    const struct {
        const char* what;
        std::function<void(const std::string& out)> change;
        int code;
    } rows[] = {
        {"as expanded", [](const std::string&) {}, ArchiverOk},
        {"without its list",
         [](const std::string& out) { fs::remove(out + "/" + kStandInListNameForTests); }, ArchiverOk},
        {"a file stand-in changed",
         [](const std::string& out) { writeFile(out + "/tool", "changed"); }, ArchiverIncomplete},
        {"a file added to a folder stand-in",
         [](const std::string& out) { writeFile(out + "/d/new.txt", "new"); }, ArchiverIncomplete},
        {"a file in a folder stand-in changed",
         [](const std::string& out) { writeFile(out + "/d/sub/b.txt", "bb"); }, ArchiverIncomplete},
        {"a new file hidden by a list that names it a link",
         [](const std::string& out) {
             writeFile(out + "/save/game.sav", "a");
             writeFile(out + "/" + kStandInListNameForTests,
                       std::string("vadok stand-ins 2\nLsave") + '\0' + "data/sub" + '\0' + "0\n");
         },
         ArchiverIncomplete},
    };
    TempDir dir;
    makeApplication(dir / "src");
    const std::string archive = dir / "app.lzh";
    ASSERT_EQ(Unlha(nullptr, storeCommand(archive, dir / "src"), nullptr, 0), ArchiverOk);
    for (const auto& r : rows) {
        const std::string out = dir / (std::string("out-") + std::to_string(&r - rows));
        ASSERT_EQ(Unlha(expandCommand(archive, out), kLinksRefused), ArchiverOk);
        r.change(out);
        EXPECT_EQ(VerifyArchive(archive, out + "/"), r.code) << r.what;
    }
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

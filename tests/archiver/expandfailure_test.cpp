// An expansion that fails leaves nothing behind: a missing or empty destination stays so,
// and a destination that held entries holds the same names afterwards. A successful one
// ends on the destination itself, stamped for the next store, with no sibling left over.

#include "archivertestsupport.h"
#include "rawarchive.h"

#include "archiver/archiver.h"
#include "archiver/expand/expandjob.h"
#include "archiver/files/expandtarget.h"
#include "archiver/files/syncstamp.h"
#include "archiver/lzh/lzhheaderreader.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <filesystem>
#include <set>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace vadok;
using namespace vadok::test;

namespace {

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

std::set<std::string> pathsOf(const std::string& root) {
    std::set<std::string> paths;
    for (const auto& [path, node] : readTree(root))
        paths.insert(path);
    return paths;
}

// A tree whose damaged member comes last, so that everything else is written before it.
void makeSource(const std::string& src) {
    writeFile(src + "/keep.txt", "from the archive");
    writeFile(src + "/docs/a.txt", randomData(20000, 1, 30));
    writeFile(src + "/docs/deep/b.txt", randomData(20000, 2, 30));
    writeFile(src + "/lib/c.bin", randomData(30000, 3));
    writeFile(src + "/zz-last.bin", randomData(60000, 4, 40));
}

// Flips one byte in the middle of the data of the member named last.
std::string damagedLzh(const std::string& archive) {
    std::string bytes = readFile(archive);
    for (const auto& m : archiver::readArchiveIndex(archive).members)
        if (m.path == "zz-last.bin")
            bytes[m.dataOffset + m.compressedSize / 2] ^= 0x40;
    return bytes;
}

struct Damaged {
    const char* name;
    std::string bytes;
    bool zip;
};

std::vector<Damaged> damagedArchives(TempDir& dir) {
    makeSource(dir / "src");
    std::vector<Damaged> out;
    EXPECT_EQ(Unlha(nullptr, storeCommand(dir / "ours.lzh", dir / "src"), nullptr, 0), ArchiverOk);
    out.push_back({"our writer", damagedLzh(dir / "ours.lzh"), false});
    if (haveProgram("jlha")) {
        for (const char* options : {"a2o5", "a0o7"}) {
            const std::string archive = dir / (std::string("jlha-") + options + ".lzh");
            EXPECT_EQ(run("cd " + quote(dir / "src") + " && jlha " + options + " " +
                          quote(archive) +
                          " keep.txt docs/a.txt docs/deep/b.txt lib/c.bin zz-last.bin"
                          " >/dev/null 2>&1"),
                      0);
            out.push_back({options, damagedLzh(archive), false});
        }
    } else {
        ADD_FAILURE() << "jlha missing: scripts/setup installs jlha-utils";
    }
    EXPECT_EQ(run("cd " + quote(dir / "src") +
                  " && bsdtar --format zip -cf ../bsdtar.zip keep.txt docs lib zz-last.bin"),
              0);
    std::string zip = readFile(dir / "bsdtar.zip");
    const std::size_t at = zip.rfind("zz-last.bin", zip.find("PK\x01\x02"));
    zip[at + 30000] ^= 0x40;
    out.push_back({"bsdtar zip", zip, true});
    return out;
}

class ExpandFailure : public ::testing::TestWithParam<unsigned> {};

} // namespace

INSTANTIATE_TEST_SUITE_P(Threads, ExpandFailure, ::testing::ValuesIn(kExpandThreads));

TEST_P(ExpandFailure, damagedArchiveLeavesNoNewEntryAndNoSiblingBehind) {
    enum class Before { Absent, Empty, HoldsFiles };
    TempDir dir;
    const auto archives = damagedArchives(dir);
    for (const auto& archive : archives) {
        for (const Before before : {Before::Absent, Before::Empty, Before::HoldsFiles}) {
            TempDir place;
            const std::string dest = place / "Exec/app";
            makeDirs(place / "Exec");
            if (before == Before::Empty)
                makeDirs(dest);
            if (before == Before::HoldsFiles) {
                writeFile(dest + "/keep.txt", "the user's");
                writeFile(dest + "/docs/mine.txt", "the user's too");
                writeFile(dest + "/save/slot1", "progress");
            }
            const std::set<std::string> pathsBefore = pathsOf(dest);
            const std::set<std::string> siblingsBefore = namesIn(place / "Exec");
            writeFile(place / "case.bin", archive.bytes);
            const std::string what =
                std::string(archive.name) + ", destination " +
                (before == Before::Absent ? "absent" : before == Before::Empty ? "empty" : "full");

            EXPECT_EQ(expandWithThreads(place / "case.bin", dest, archive.zip, GetParam()),
                      ArchiverBrokenArchive)
                << what;
            EXPECT_EQ(namesIn(place / "Exec"), siblingsBefore) << what;
            EXPECT_EQ(std::filesystem::exists(dest), before != Before::Absent) << what;
            EXPECT_EQ(pathsOf(dest), pathsBefore) << what << "\n" << describe(readTree(dest));
            if (before == Before::HoldsFiles) {
                EXPECT_EQ(readFile(dest + "/save/slot1"), "progress") << what;
            }
        }
    }
}

TEST_P(ExpandFailure, missingParentsMadeForTheDestinationAreRemovedAgain) {
    TempDir dir;
    const auto archives = damagedArchives(dir);
    TempDir place;
    writeFile(place / "case.lzh", archives.front().bytes);
    EXPECT_EQ(expandWithThreads(place / "case.lzh", place / "new/deeper/app", false, GetParam()),
              ArchiverBrokenArchive);
    EXPECT_EQ(namesIn(place.path()), std::set<std::string>{"case.lzh"});
}

TEST_P(ExpandFailure, successfulExpansionEndsOnTheDestinationStampedWithNoSiblingLeft) {
    for (const bool empty : {false, true}) {
        TempDir dir;
        makeSource(dir / "src");
        ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "a.lzh", dir / "src"), nullptr, 0), ArchiverOk);
        makeDirs(dir / "Exec");
        if (empty)
            makeDirs(dir / "Exec/app");
        ASSERT_EQ(expandWithThreads(dir / "a.lzh", dir / "Exec/app", false, GetParam()), ArchiverOk);
        EXPECT_EQ(namesIn(dir / "Exec"), std::set<std::string>{"app"});
        EXPECT_EQ(readTree(dir / "Exec/app"), readTree(dir / "src"));
        // The stamp names the archive on the folder where the expansion ended.
        EXPECT_TRUE(archiver::readSyncStamp(dir / "Exec/app", dir / "a.lzh").has_value())
            << "empty: " << empty;
    }
}

// What a killed expansion left beside the destination is removed by the next one, but only
// a folder of exactly that shape, marked as ours, whose process is gone.
TEST(ExpandStaging, staleSiblingOfAProcessThatIsGoneIsRemovedAndNothingElse) {
    TempDir dir;
    makeSource(dir / "src");
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "a.lzh", dir / "src"), nullptr, 0), ArchiverOk);
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    const std::string prefix = archiver::ExpandTarget::stagingPrefix("app");
    const std::string gone = prefix + std::to_string(child) + "-AbCdEf";
    const std::string unmarked = prefix + std::to_string(child) + "-XyZ123";
    const std::string alive = prefix + "1-Qwerty";
    const std::string otherApp = archiver::ExpandTarget::stagingPrefix("other") +
                                 std::to_string(child) + "-AbCdEf";
    for (const auto& name : {gone, unmarked, alive, otherApp}) {
        writeFile(dir / ("Exec/" + name + "/half.txt"), "half");
        if (name != unmarked)
            ::setxattr((dir / ("Exec/" + name)).c_str(), "user.vadok.expanding", name.data(),
                       name.size(), 0);
    }
    if (::getxattr((dir / ("Exec/" + gone)).c_str(), "user.vadok.expanding", nullptr, 0) <= 0)
        GTEST_SKIP() << "no user extended attributes on this file system";
    ASSERT_EQ(expandWithThreads(dir / "a.lzh", dir / "Exec/app", false, 1), ArchiverOk);
    EXPECT_EQ(namesIn(dir / "Exec"), (std::set<std::string>{"app", unmarked, alive, otherApp}));
}

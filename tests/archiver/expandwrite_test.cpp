// How an expansion writes onto disk when it spreads members over threads: folders on a thread
// of their own ahead of the files and their modes and times last, files and links replacing what stands in their way without
// ever following it, the umask obeyed and left alone, and the first damaged member named
// whichever thread met it first.

#include "archivertestsupport.h"
#include "rawarchive.h"
#include "support/exfatimage.h"

#include "archiver/archiver.h"
#include "archiver/expand/expandfolders.h"
#include "archiver/expand/expandjob.h"
#include "archiver/expand/memberoverlap.h"
#include "archiver/files/casefolding.h"
#include "archiver/files/memberfiles.h"
#include "archiver/lzh/lzhheaderreader.h"
#include "archiver/names/memberpaths.h"
#include "archiver/reading/rangereader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vadok;
using namespace vadok::test;

namespace {

int store(const std::string& archive, const std::string& folder) {
    return Unlha(nullptr, storeCommand(archive, folder), nullptr, 0);
}

class ExpandWrite : public ::testing::TestWithParam<unsigned> {
protected:
    archiver::ExpandResult expand(const std::string& archive, const std::string& dest) {
        archiver::ExpandOptions options;
        options.threads = GetParam();
        return archiver::expandArchive(archive, dest + "/", archiver::ArchiveFormat::Lzh, options);
    }
};

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Threads, ExpandWrite, ::testing::ValuesIn(kExpandThreads));

TEST_P(ExpandWrite, whatStandsAtAMembersPathIsReplacedAndWhatItLeadsToIsLeftAlone) {
    using Setup = std::function<void(const std::string& dest, const std::string& outside)>;
    struct Case {
        const char* name;
        Setup before;
        int code;
    };
    const Case cases[] = {
        {"read-only file", [](const std::string& d, const std::string&) { writeFile(d + "/f.txt", "stale", 0444); },
         ArchiverOk},
        {"link to a file outside",
         [](const std::string& d, const std::string& o) { makeSymlink(o + "/victim", d + "/f.txt"); },
         ArchiverOk},
        {"link where a link goes", [](const std::string& d, const std::string& o) { makeSymlink(o, d + "/l"); },
         ArchiverOk},
        {"empty folder", [](const std::string& d, const std::string&) { makeDirs(d + "/f.txt"); }, ArchiverOk},
        {"link to a folder outside where a folder goes",
         [](const std::string& d, const std::string& o) { makeSymlink(o, d + "/sub"); }, ArchiverOk},
        {"link to a folder outside where a folder member goes",
         [](const std::string& d, const std::string& o) { makeSymlink(o, d + "/member-dir"); },
         ArchiverOk},
        {"file where a folder goes", [](const std::string& d, const std::string&) { writeFile(d + "/sub", "s"); },
         ArchiverOk},
        {"file where a folder member goes",
         [](const std::string& d, const std::string&) { writeFile(d + "/member-dir", "m", 0444); }, ArchiverOk},
        {"folder with content", [](const std::string& d, const std::string&) { writeFile(d + "/f.txt/keep", "k"); },
         ArchiverWriteError},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string outside = dir / "outside";
        writeFile(outside + "/victim", "untouched");
        writeRawLzh(dir / "a.lzh", {{"f.txt", "from the archive", ""},
                                    {"l", "", "f.txt"},
                                    {"sub/g.txt", "below a folder", ""},
                                    {"member-dir", "", "", true},
                                    {"member-dir/h.txt", "below a folder member", ""}});
        const std::string dest = dir / "dest";
        c.before(dest, outside);
        EXPECT_EQ(expand(dir / "a.lzh", dest).code, c.code) << c.name;
        EXPECT_EQ(readTree(outside), (Tree{{"victim", {'f', "untouched", false, readTree(outside)["victim"].mtime}}}))
            << c.name << ": written outside\n" << describe(readTree(outside));
        if (c.code != ArchiverOk) {
            EXPECT_EQ(readFile(dest + "/f.txt/keep"), "k") << c.name;
            continue;
        }
        EXPECT_EQ(readFile(dest + "/f.txt"), "from the archive") << c.name;
        EXPECT_EQ(std::filesystem::read_symlink(dest + "/l"), "f.txt") << c.name;
        EXPECT_EQ(readFile(dest + "/sub/g.txt"), "below a folder") << c.name;
        EXPECT_FALSE(std::filesystem::is_symlink(dest + "/sub")) << c.name;
        EXPECT_FALSE(std::filesystem::is_symlink(dest + "/member-dir")) << c.name;
    }
}

TEST_P(ExpandWrite, umaskIsObeyedAndLeftAsItWas) {
    TempDir dir;
    writeFile(dir / "src/open.txt", "rw for all", 0666);
    writeFile(dir / "src/tool", "#!/bin/sh\n", 0777);
    makeDirs(dir / "src/folder");
    ::chmod((dir / "src/folder").c_str(), 0777);
    ASSERT_EQ(store(dir / "a.lzh", dir / "src"), ArchiverOk);
    const mode_t previous = ::umask(027);
    const int code = expand(dir / "a.lzh", dir / "dest").code;
    const mode_t after = ::umask(previous);
    ASSERT_EQ(code, ArchiverOk);
    EXPECT_EQ(after, 027u);
    EXPECT_EQ(modeOf(dir / "dest/open.txt"), 0640u);
    EXPECT_EQ(modeOf(dir / "dest/tool"), 0750u);
    EXPECT_EQ(modeOf(dir / "dest/folder"), 0750u);
}

// libarchive's folder writer switches the umask to 0 and back while files are made on other
// threads: given the umask, a file comes out the same either way.
TEST(MemberFiles, aFileGivenTheUmaskComesOutTheSameWhileTheUmaskIsSwitchedOff) {
    TempDir dir;
    makeDirs(dir / "root");
    const int root = ::open((dir / "root").c_str(), O_RDONLY | O_DIRECTORY);
    const mode_t previous = ::umask(0);
    int fd = -1;
    std::string error;
    const bool made = archiver::createMemberFile(root, "f", 0666, fd, error, 027);
    ::umask(previous);
    ::close(fd);
    ::close(root);
    ASSERT_TRUE(made) << error;
    EXPECT_EQ(modeOf(dir / "root/f"), 0640u);
}

TEST_P(ExpandWrite, foldersGetTheirOwnModesAndTimesAfterTheirContents) {
    TempDir dir;
    for (int i = 0; i < 20; ++i)
        writeFile(dir / ("src/locked/f" + std::to_string(i)), randomData(3000, static_cast<unsigned>(i)));
    writeFile(dir / "src/open/f", "f");
    ::chmod((dir / "src/locked").c_str(), 0555);
    setMtime(dir / "src/locked", 1000000000);
    setMtime(dir / "src/open", 1100000000);
    ASSERT_EQ(store(dir / "a.lzh", dir / "src"), ArchiverOk);
    const auto result = expand(dir / "a.lzh", dir / "dest");
    ::chmod((dir / "dest/locked").c_str(), 0755); // so that the folder can be removed
    ::chmod((dir / "src/locked").c_str(), 0755);
    ASSERT_EQ(result.code, ArchiverOk) << result.error;
    EXPECT_EQ(readTree(dir / "dest"), readTree(dir / "src"));
    struct stat st {};
    ASSERT_EQ(::stat((dir / "dest/open").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);

    // Over folders that are there already, written in place: their times still come last,
    // their modes stay theirs.
    setMtime(dir / "dest/open", 1200000000);
    ::chmod((dir / "dest/open").c_str(), 0700);
    writeFile(dir / "dest/open/mine", "kept");
    ASSERT_EQ(expand(dir / "a.lzh", dir / "dest").code, ArchiverOk);
    ::chmod((dir / "dest/locked").c_str(), 0755);
    ASSERT_EQ(::stat((dir / "dest/open").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(readFile(dir / "dest/open/mine"), "kept");
}

// A folder others may write to gets that mode only once its contents are written.
TEST_P(ExpandWrite, aFolderOpenToEveryoneIsOpenedOnlyAtTheEnd) {
    TempDir dir;
    LzhEntry shared{"shared/", "", "lhd"};
    shared.mode = 040777;
    LzhEntry file{"shared/f", "f", "lh0"};
    writeFile(dir / "a.lzh", lzhArchive({shared, file}));
    const mode_t previous = ::umask(0);
    archiver::ExpandOptions options;
    options.threads = GetParam();
    std::set<mode_t> during; // of the folder in the hidden sibling being written
    options.foldersMade = [&](std::size_t i) {
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (i == 0 && e.path().filename().string().rfind(".dest.expanding-", 0) == 0)
                during.insert(modeOf(e.path().string() + "/shared"));
    };
    const auto result =
        archiver::expandArchive(dir / "a.lzh", dir / "dest/", archiver::ArchiveFormat::Lzh, options);
    ::umask(previous);
    ASSERT_EQ(result.code, ArchiverOk) << result.error;
    EXPECT_EQ(during, std::set<mode_t>{0775});
    EXPECT_EQ(modeOf(dir / "dest/shared"), 0777u);
}

// Folders are made wherever members come: back in a folder left before, deeper than the
// folders whose descriptors are kept open, climbing back up to their siblings, and more of
// them than a low limit of open files lets the writers keep.
TEST_P(ExpandWrite, foldersAreMadeInAnyOrderAtAnyDepthAndAnyNumber) {
    std::string deep;
    for (int i = 0; i < 120; ++i)
        deep += "d" + std::to_string(i) + "/";
    auto above = [&](int level) { return deep.substr(0, deep.find("d" + std::to_string(level) + "/")); };
    std::vector<RawMember> members = {{"a/x", "x", ""}, {"b/y", "y", ""}, {"a/z", "z", ""},
                                      {"a/c/", "", "", true}, {"b/c/w", "w", ""}};
    for (const int level : {120, 41, 3, 119, 1, 120, 0})
        members.push_back({above(level) + "f" + std::to_string(members.size()) + (level == 41 ? "/g" : ""),
                           "deep", ""});
    for (int i = 0; i < 300; ++i)
        members.push_back({"many/m" + std::to_string(i) + "/f", std::to_string(i), ""});
    rlimit normal{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &normal), 0);
    for (const rlim_t limit : {normal.rlim_cur, rlim_t{128}}) {
        TempDir dir;
        writeRawLzh(dir / "a.lzh", members);
        rlimit low = normal;
        low.rlim_cur = std::min(limit, normal.rlim_cur);
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
        const auto result = expand(dir / "a.lzh", dir / "dest");
        ::setrlimit(RLIMIT_NOFILE, &normal);
        ASSERT_EQ(result.code, ArchiverOk) << "limit " << limit << ": " << result.error;
        for (const auto& m : members)
            EXPECT_EQ(m.directory ? "" : readFile(dir / ("dest/" + m.path)), m.content) << m.path;
        EXPECT_TRUE(std::filesystem::is_directory(dir / "dest/a/c"));
    }
}

// The first file is written while the folder thread is held right after making its folder,
// before those of later members: made all first, the folders kept every file waiting. The
// hold ends when the file is written, not after a time: folders made on the caller's thread
// fail at once, and a folder thread that still kept the writers waiting would hang until
// ctest's timeout reports it.
TEST_P(ExpandWrite, filesAreWrittenWhileTheFoldersOfLaterMembersAreStillToBeMade) {
    TempDir dir;
    writeRawLzh(dir / "a.lzh", {{"a/first.txt", "first", ""},
                                {"b/c/second.txt", "second", ""},
                                {"d", "", "", true}});
    std::mutex mutex;
    std::condition_variable changed;
    bool firstWritten = false;
    bool writtenMeanwhile = false;
    archiver::ExpandOptions options;
    options.threads = GetParam();
    options.memberWritten = [&](std::size_t i) {
        std::lock_guard lock(mutex);
        firstWritten = firstWritten || i == 0;
        changed.notify_all();
    };
    const std::thread::id caller = std::this_thread::get_id();
    options.foldersMade = [&](std::size_t i) {
        if (i != 0 || std::this_thread::get_id() == caller)
            return;
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return firstWritten; });
        writtenMeanwhile = true;
    };
    const auto result =
        archiver::expandArchive(dir / "a.lzh", dir / "dest/", archiver::ArchiveFormat::Lzh, options);
    ASSERT_EQ(result.code, ArchiverOk) << result.error;
    EXPECT_TRUE(writtenMeanwhile);
    EXPECT_EQ(readFile(dir / "dest/b/c/second.txt"), "second");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "dest/d"));
}

TEST(FolderGate, letsMembersWhoseFoldersExistPassAndTheRestGiveUpOnceStopped) {
    archiver::FolderGate gate;
    gate.open(2);
    EXPECT_TRUE(gate.waitFor(1));
    bool later = true;
    std::thread waiter([&] { later = gate.waitFor(2); });
    gate.stop();
    waiter.join();
    EXPECT_FALSE(later);
    EXPECT_TRUE(gate.waitFor(0));
}

// Opening takes the lock only for a waiter it can see: one that goes to sleep between the
// opener's store and its look for waiters must still be woken (a lost wake-up hangs here).
// Each round the waiter begins as the member it waits for is opened: both spin until the other
// is there too.
TEST(FolderGate, wakesEveryWaiterWhateverMomentItBeganToWait) {
    for (int round = 0; round < 2000; ++round) {
        archiver::FolderGate gate;
        std::atomic<int> there{0};
        const auto meet = [&] {
            ++there;
            while (there.load() < 2)
                std::this_thread::yield();
        };
        bool passed = false;
        std::thread waiter([&] {
            meet();
            passed = gate.waitFor(0);
        });
        meet();
        gate.open(1);
        waiter.join();
        ASSERT_TRUE(passed) << "round " << round;
    }
}

// A thread's readers of one range after another share one buffer: each must see only its own
// range's bytes, whatever the reader before it left there.
TEST(RangeReader, readersOneAfterAnotherOnAThreadSeeTheirOwnBytes) {
    TempDir dir;
    const std::string bytes = randomData(700000, 9);
    writeFile(dir / "file", bytes);
    const int fd = ::open((dir / "file").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct Range {
        std::uint64_t begin, end;
        std::size_t step; // read in pieces of this size, peeking at each first
    };
    const Range ranges[] = {
        {1000, 650000, 70000}, {300, 900, 600}, {400000, 700000, 300000},
        {10, 20, 3},           {0, 700000, 131072}, {650000, 650000, 1},
    };
    for (const Range& r : ranges) {
        archiver::RangeReader in(fd, r.begin, r.end);
        std::string got;
        std::vector<std::uint8_t> piece(r.step);
        while (true) {
            std::size_t seen = 0;
            const std::uint8_t* p = in.peek(r.step, seen);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), std::min(seen, r.step)),
                      bytes.substr(static_cast<std::size_t>(in.position()), std::min(seen, r.step)));
            const std::size_t n = in.read(piece.data(), piece.size());
            if (n == 0)
                break;
            got.append(reinterpret_cast<const char*>(piece.data()), n);
        }
        EXPECT_FALSE(in.failed());
        EXPECT_EQ(got, bytes.substr(r.begin, r.end - r.begin)) << r.begin << ".." << r.end;
    }
    ::close(fd);
}

TEST_P(ExpandWrite, firstDamagedMemberInArchiveOrderIsTheOneReported) {
    TempDir dir;
    for (int i = 0; i < 40; ++i)
        writeFile(dir / ("src/f" + std::to_string(100 + i)), randomData(5000, static_cast<unsigned>(i), 6));
    ASSERT_EQ(store(dir / "a.lzh", dir / "src"), ArchiverOk);
    std::string bytes = readFile(dir / "a.lzh");
    for (const auto& m : archiver::readArchiveIndex(dir / "a.lzh").members)
        if (m.path == "f105" || m.path == "f130")
            bytes[m.dataOffset + m.compressedSize / 2] ^= 0x21;
    writeFile(dir / "bad.lzh", bytes);
    for (int round = 0; round < 5; ++round) {
        const auto result = expand(dir / "bad.lzh", dir / ("dest" + std::to_string(round)));
        EXPECT_EQ(result.code, ArchiverBrokenArchive);
        EXPECT_EQ(result.error.rfind("f105: ", 0), 0u) << result.error;
    }
}

TEST_P(ExpandWrite, membersThatLandOnEachOtherEndAsTheLastOneLeavesThem) {
    TempDir dir;
    std::vector<RawMember> members;
    for (int i = 0; i < 10; ++i) {
        members.push_back({"a.txt", "version " + std::to_string(i), ""});
        members.push_back({"l", "", "target" + std::to_string(i)});
    }
    writeRawLzh(dir / "a.lzh", members);
    // Spread over threads, the versions would be written in any order: none may be.
    std::atomic<int> spread = 0;
    archiver::ExpandOptions options;
    options.threads = GetParam();
    options.memberWritten = [&](std::size_t) { ++spread; };
    const auto result =
        archiver::expandArchive(dir / "a.lzh", dir / "dest/", archiver::ArchiveFormat::Lzh, options);
    ASSERT_EQ(result.code, ArchiverOk) << result.error;
    EXPECT_EQ(spread, 0);
    EXPECT_EQ(readFile(dir / "dest/a.txt"), "version 9");
    EXPECT_EQ(std::filesystem::read_symlink(dir / "dest/l"), "target9");
}

// The stand-in list's name is chosen from members' first parts, taken without building paths.
TEST(MemberPaths, theFirstNormalPartIsThatOfTheWholeNormalPath) {
    for (const std::string_view name :
         {"a/b", "./a/b", "//./a/", ".", "", "./", "a", ".a/b", "a./b", "./../x", "/abs", "..."}) {
        const std::string whole = archiver::normalMemberPath(name);
        EXPECT_EQ(archiver::firstNormalPart(name), whole.substr(0, whole.find('/'))) << name;
    }
}

// Members that overlap are written one after another in member order; the rest are spread.
// A trailing "/" marks a folder member.
TEST(MemberOverlap, twoAtOnePathOrOneBelowANonFolderAndNothingElse) {
    struct Case {
        std::vector<std::string> paths;
        bool overlap;
    };
    const Case cases[] = {
        {{"a", "b/c", "b/d/e", "b/"}, false},
        {{"a", "b", "a"}, true},
        {{"./a", "a"}, true},
        {{"a", "a/b"}, true},
        {{"a/b", "a"}, true},
        {{"a", "a.txt", "a-b/c", "a/b"}, true},
        {{"a", "a.txt", "a.txt/x", "a0"}, true},
        {{"a", "a.txt", "a0/x", "a-/x", "ab/x"}, false},
        {{"a/", "a.txt", "a/b.c", "a/b/", "a/b/x"}, false},
        {{"d/f", "d/f.txt", "d/f-/x", "d/f/x"}, true},
        {{"d/f", "d/g/x", "d/f\xc3\xa9/x"}, false},
        {{"l", "l\xc3\xa9", "l\xc3\xa9/x"}, true},
        {{"", "a/"}, false},
        // Past the first eight bytes, in the order our own store lists members and out of it.
        {{"applications/editor/", "applications/editor/x", "applications/editor-2/x",
          "applications/editor.txt"}, false},
        {{"applications/editor.txt", "applications/editor-2/x", "applications/editor",
          "applications/editor/x"}, true},
        {{"applications/editor-2/", "applications/editor/x", "applications/editor-2"}, true},
        {{"applications/editor\xc3\xa9/x", "applications/editor", "applications/editor0"}, false},
        {{"applications/ab/x", "applications/a", "applications/a/b/c/d"}, true},
    };
    for (const Case& c : cases) {
        archiver::NameStore names;
        std::vector<archiver::ListedMember> members(c.paths.size());
        std::string described;
        for (std::size_t i = 0; i < c.paths.size(); ++i) {
            std::string path = c.paths[i];
            const bool folder = !path.empty() && path.back() == '/';
            if (folder)
                path.pop_back();
            members[i].setName(names, path);
            members[i].kind = folder ? archiver::MemberKind::Directory : archiver::MemberKind::File;
            described += c.paths[i] + " ";
        }
        const archiver::MemberPathIndex index(members.size(),
                                              [&](std::size_t i) { return members[i].path.view(); });
        EXPECT_EQ(archiver::membersOverlap(members, index), c.overlap) << described;
    }
}

// exFAT takes names that differ only in case for one file: two writer threads that met on it
// (one replacing the file the other had open) killed exfat-fuse. They are written one after
// another in archive order, the last one stays, and a warning names them; elsewhere they are
// files of their own.
TEST_P(ExpandWrite, namesDifferingOnlyInCaseEndAsTheLastOneWhereTheFileSystemFoldsCase) {
    TempDir dir;
    // Large enough that the writers of two threads meet.
    writeRawLzh(dir / "a.lzh", {{"README.TXT", randomData(3000000, 1), ""},
                                {"docs/Guide.txt", "first guide", ""},
                                {"readme.txt", randomData(3000000, 2), ""},
                                {"Docs/guide.TXT", "last guide", ""},
                                {"other.txt", "other", ""}});
    std::vector<std::string> warnings;
    archiver::ExpandOptions options;
    options.threads = GetParam();
    options.warning = [&](const std::string& w) { warnings.push_back(w); };
    const auto expandInto = [&](const std::string& dest) {
        return archiver::expandArchive(dir / "a.lzh", dest + "/", archiver::ArchiveFormat::Lzh,
                                       options);
    };
    auto result = expandInto(dir / "apart");
    ASSERT_EQ(result.code, ArchiverOk) << result.error;
    EXPECT_EQ(readFile(dir / "apart/README.TXT"), randomData(3000000, 1));
    EXPECT_EQ(readFile(dir / "apart/docs/Guide.txt"), "first guide");
    EXPECT_TRUE(warnings.empty());

    ExfatImage stick(dir.path());
    if (!stick.mounted())
        GTEST_SKIP() << "no exFAT file system to be had here: " << stick.why();
    EXPECT_EQ(archiver::caseFoldingOf(stick.mount()), archiver::CaseFolding::Unicode);
    const std::string dest = stick.mount() + "/Exec/app";
    result = expandInto(dest);
    ASSERT_EQ(result.code, ArchiverOk) << result.error;
    // Read by the names that stayed: exfat-fuse may serve another spelling from its cache.
    EXPECT_EQ(readFile(dest + "/readme.txt"), randomData(3000000, 2));
    EXPECT_EQ(readFile(dest + "/Docs/guide.TXT"), "last guide");
    EXPECT_EQ(readFile(dest + "/other.txt"), "other");
    std::set<std::string> top;
    for (const auto& e : std::filesystem::directory_iterator(dest))
        top.insert(e.path().filename());
    EXPECT_EQ(top.count("readme.txt"), 1u);
    EXPECT_EQ(top.count("README.TXT"), 0u);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("docs/Guide.txt, Docs/guide.TXT"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("README.TXT, readme.txt"), std::string::npos) << warnings[1];
}

TEST(CaseFolding, pathsFoldAsTheFileSystemComparesThem) {
    using archiver::CaseFolding;
    const struct {
        std::string path;
        CaseFolding folding;
        std::string folded;
    } cases[] = {
        {"Dir/read.Me", CaseFolding::None, "Dir/read.Me"},
        {"Dir/read.Me", CaseFolding::Ascii, "DIR/READ.ME"},
        {"\xC3\xA4/\xC3\xA4", CaseFolding::Ascii, "\xC3\xA4/\xC3\xA4"},
        {"\xC3\xA4" "b/stra\xC3\x9F" "e", CaseFolding::Unicode, "\xC3\x84" "B/STRA\xC3\x9F" "E"},
        {"\xD0\xB6\xEF\xBD\x81", CaseFolding::Unicode, "\xD0\x96\xEF\xBC\xA1"},
        // Bytes of no UTF-8 (CP932, a cut sequence) stay as they are.
        {"\x83\x81x\xC3", CaseFolding::Unicode, "\x83\x81X\xC3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(archiver::foldedPath(c.path, c.folding), c.folded) << c.path;
}

// The store of an empty folder is an archive of nothing but its end mark; it used to fail
// to expand, which left such an application unable to start.
TEST_P(ExpandWrite, archiveOfAnEmptyFolderExpandsToAnEmptyFolder) {
    TempDir dir;
    makeDirs(dir / "src");
    ASSERT_EQ(store(dir / "a.lzh", dir / "src"), ArchiverOk);
    ASSERT_EQ(expand(dir / "a.lzh", dir / "dest").code, ArchiverOk);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "dest"));
    EXPECT_TRUE(readTree(dir / "dest").empty());
}

namespace {

// Modes an archive may give that would lock its owner out, by path, with what must come out
// (umask 022): owner read, write and search added to folders, read and write to files.
struct LockedMember {
    std::string path;
    unsigned mode; // as stored, type bits included
    mode_t expected;
};

const std::vector<LockedMember>& lockedMembers() {
    static const std::vector<LockedMember> members = {
        {"ro", 040555, 0755},        {"ro/f.txt", 0100444, 0644},
        {"none", 040000, 0700},      {"none/f.txt", 0100000, 0600},
        {"ownerrw", 040600, 0700},   {"ownerrw/f.txt", 0100200, 0600},
        {"ownerrw/sub", 040500, 0700}, {"ownerrw/sub/g.txt", 0100400, 0600},
    };
    return members;
}

// The same members as each kind of writer stores them.
struct LockedArchive {
    const char* name;
    bool zip;
    std::vector<LockedMember> expected;
};

std::vector<LockedArchive> lockedArchives(const TempDir& dir) {
    std::vector<LockedArchive> out;
    std::vector<LzhEntry> entries;
    std::vector<RawMember> zipMembers;
    for (const auto& m : lockedMembers()) {
        const bool folder = (m.mode & 040000) != 0;
        LzhEntry e{folder ? m.path + "/" : m.path, folder ? "" : "data of " + m.path,
                   folder ? "lhd" : "lh0"};
        e.mode = static_cast<std::uint16_t>(m.mode);
        entries.push_back(e);
        zipMembers.push_back({m.path, folder ? "" : "data of " + m.path, "", folder, m.mode});
    }
    writeFile(dir / "raw.lzh", lzhArchive(entries));
    out.push_back({"raw.lzh", false, lockedMembers()});
    writeRawZip(dir / "raw.zip", zipMembers);
    out.push_back({"raw.zip", true, lockedMembers()});

    // Our writer stores the modes of the folder as they are; root can read it whatever they are.
    for (const auto& m : lockedMembers())
        if (!(m.mode & 040000))
            writeFile(dir / ("src/" + m.path), "data of " + m.path);
    for (auto it = lockedMembers().rbegin(); it != lockedMembers().rend(); ++it)
        ::chmod((dir / ("src/" + it->path)).c_str(), it->mode & 07777);
    EXPECT_EQ(Unlha(nullptr, storeCommand(dir / "ours.lzh", dir / "src"), nullptr, 0), ArchiverOk);
    out.push_back({"ours.lzh", false, lockedMembers()});

    // Windows marks a read-only folder with attribute 0x01, which readers take for 0555.
    EXPECT_EQ(run("python3 -c 'import zipfile,sys\n"
                  "z = zipfile.ZipFile(sys.argv[1], \"w\")\n"
                  "for name, attr in ((\"ro/\", 0x11), (\"ro/f.txt\", 0x21), (\"ro/w.txt\", 0x01)):\n"
                  "    i = zipfile.ZipInfo(name); i.create_system = 0; i.external_attr = attr\n"
                  "    z.writestr(i, b\"\" if name.endswith(\"/\") else b\"data\")\n"
                  "z.close()' " +
                  quote(dir / "windows.zip")),
              0);
    out.push_back({"windows.zip", true, {{"ro", 040555, 0755}, {"ro/f.txt", 0100444, 0644},
                                         {"ro/w.txt", 0100444, 0644}}});
    return out;
}

} // namespace

TEST_P(ExpandWrite, foldersAndFilesAlwaysLetTheirOwnerIn) {
    TempDir dir;
    const auto archives = lockedArchives(dir);
    const mode_t previous = ::umask(022);
    for (const auto& a : archives) {
        for (const bool over : {false, true}) {
            const std::string dest = dir / (std::string("out-") + a.name);
            archiver::ExpandOptions options;
            options.threads = GetParam();
            const auto result = archiver::expandArchive(
                dir / a.name, dest + "/",
                a.zip ? archiver::ArchiveFormat::Zip : archiver::ArchiveFormat::Lzh, options);
            EXPECT_EQ(result.code, ArchiverOk) << a.name << ": " << result.error;
            for (const auto& m : a.expected)
                EXPECT_EQ(modeOf(dest + "/" + m.path), m.expected)
                    << a.name << (over ? " expanded over itself: " : ": ") << m.path;
        }
    }
    ::umask(previous);
}

// Root ignores modes, so this part runs as an ordinary user in a child process: the tree an
// expansion made can be expanded over, stored and deleted by its owner.
TEST(ExpandModes, anOrdinaryOwnerCanExpandOverStoreAndDeleteWhatWasExpanded) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become an ordinary user";
    constexpr uid_t kNobody = 65534;
    TempDir dir;
    const auto archives = lockedArchives(dir);
    for (const auto& a : archives) {
        const std::string dest = dir / (std::string("out-") + a.name);
        ASSERT_EQ(expandWithThreads(dir / a.name, dest, a.zip, 1), ArchiverOk) << a.name;
    }
    ::chown(dir.path().c_str(), kNobody, kNobody);
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
        ::lchown(e.path().c_str(), kNobody, kNobody);
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        std::string failed;
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            failed = "cannot become nobody";
        for (std::size_t i = 0; i < archives.size() && failed.empty(); ++i) {
            const auto& a = archives[i];
            const std::string dest = dir / (std::string("out-") + a.name);
            if (expandWithThreads(dir / a.name, dest, a.zip, 1) != ArchiverOk)
                failed += std::string(a.name) + ": expanding over failed\n";
            if (Unlha(nullptr, storeCommand(dir / ("again-" + std::to_string(i) + ".lzh"), dest),
                      nullptr, 0) != ArchiverOk)
                failed += std::string(a.name) + ": storing failed\n";
            std::error_code ec;
            std::filesystem::remove_all(dest, ec);
            if (ec || std::filesystem::exists(dest))
                failed += std::string(a.name) + ": deleting failed\n";
        }
        const bool sent = ::write(report[1], failed.data(), failed.size()) ==
                          static_cast<ssize_t>(failed.size());
        ::_exit(sent ? 0 : 1);
    }
    ::close(report[1]);
    ASSERT_GT(child, 0);
    std::string failed;
    char buffer[256];
    for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;)
        failed.append(buffer, static_cast<std::size_t>(n));
    ::close(report[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(failed, "");
}

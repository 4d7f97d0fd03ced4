#include "archivertestsupport.h"
#include "rawarchive.h"

#include "archiver/archiver.h"
#include "archiver/lzh/lzhheaderreader.h"
#include "archiver/store/storejob.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <system_error>
#include <thread>

using namespace vadok;
using namespace vadok::test;

namespace {

int store(const std::string& archive, const std::string& folder) {
    return Unlha(nullptr, storeCommand(archive, folder), nullptr, 0);
}
int expand(const std::string& archive, const std::string& folder) {
    return Unlha(nullptr, expandCommand(archive, folder), nullptr, 0);
}

// Round trips expand on one thread and on several (kExpandThreads).
class RoundTrip : public ::testing::TestWithParam<unsigned> {
protected:
    int expand(const std::string& archive, const std::string& folder) {
        return expandWithThreads(archive, folder, false, GetParam());
    }
};
class Expand : public RoundTrip {};

std::vector<std::string> memberPaths(const std::string& archive) {
    std::vector<std::string> paths;
    for (const auto& m : archiver::readArchiveIndex(archive).members)
        paths.push_back(m.path);
    return paths;
}

std::string methodOf(const std::string& archive, const std::string& path) {
    for (const auto& m : archiver::readArchiveIndex(archive).members)
        if (m.path == path)
            return m.methodName();
    return "";
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Threads, RoundTrip, ::testing::ValuesIn(kExpandThreads));
INSTANTIATE_TEST_SUITE_P(Threads, Expand, ::testing::ValuesIn(kExpandThreads));

TEST_P(RoundTrip, keepsTreeBytesExecutableBitsAndTimes) {
    TempDir dir;
    const std::string src = dir / "src";
    writeFile(src + "/app.bin", randomData(300000, 1, 16), 0755);
    writeFile(src + "/readme.txt", std::string(5000, 'a') + "tail", 0644);
    writeFile(src + "/empty.dat", "", 0644);
    writeFile(src + "/data/deeper/still/config.ini", "[x]\nkey=value\n", 0600);
    writeFile(src + "/incompressible.png", randomData(70000, 2), 0644);
    makeDirs(src + "/empty folder");
    makeSymlink("../app.bin", src + "/data/app-link");
    setMtime(src + "/readme.txt", 1000000000, 123456700);
    const Tree before = readTree(src);

    ASSERT_EQ(store(dir / "a.lzh", src), ArchiverOk);
    ASSERT_EQ(expand(dir / "a.lzh", dir / "out"), ArchiverOk);
    const Tree after = readTree(dir / "out");
    EXPECT_EQ(after, before) << describe(after) << "---\n" << describe(before);
    EXPECT_EQ(methodOf(dir / "a.lzh", "app.bin"), "lh7");
    EXPECT_EQ(methodOf(dir / "a.lzh", "incompressible.png"), "lh0");
    EXPECT_EQ(methodOf(dir / "a.lzh", "empty folder"), "lhd");
}

TEST_P(RoundTrip, namesComeBackByteIdentical) {
    struct Case {
        const char* what;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"ascii with spaces", "Read Me.txt"},
        {"CP932 kana and kanji", "表示設定.txt"},
        {"accent outside CP932", "café.txt"},
        {"emoji", "icon😀.png"},
        {"decomposed accent", "cafe\xcc\x81.txt"},
        {"not UTF-8 (Latin-1 byte)", "caf\xe9.txt"},
        {"not UTF-8 (lone continuation)", "x\x80y"},
        {"CP932 in a folder name", "フォルダ/中身.txt"},
        {"backslash", "a\\b.txt"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir / ("src/" + c.name), "content of " + c.name);
        ASSERT_EQ(store(dir / "a.lzh", dir / "src"), ArchiverOk) << c.what;
        ASSERT_EQ(expand(dir / "a.lzh", dir / "out"), ArchiverOk) << c.what;
        EXPECT_EQ(readTree(dir / "out"), readTree(dir / "src")) << c.what << "\n"
                                                                << describe(readTree(dir / "out"));
    }
}

// A file over a segment is compressed in segments, on a helper thread where the store has
// more than one: the archive's bytes must not depend on how many threads it had, or could
// start, nor on which finished first.
TEST(StoreExpand, filesInSegmentsMakeTheSameArchiveOnOneThreadOrOnFour) {
    TempDir dir;
    std::string repeats = randomData(600000, 21, 64);
    while (repeats.size() < (5u << 20) / 2)
        repeats += repeats.substr(repeats.size() - 40000, 30000) + randomData(200000, unsigned(repeats.size()), 64);
    writeFile(dir / "src/large.bin", repeats);
    writeFile(dir / "src/one byte over.bin", randomData((1 << 20) + 1, 22, 16));
    writeFile(dir / "src/small.txt", "small");
    struct Way {
        const char* name;
        unsigned threads;
        int threadsToBeHad; // -1: any number
    };
    std::string first;
    for (const Way& way : {Way{"one thread", 1, -1}, Way{"four threads", 4, -1},
                           Way{"four, of which one can start", 4, 1}}) {
        archiver::StoreOptions options;
        options.threads = way.threads;
        std::atomic<int> started = 0;
        options.startThread = [&](std::function<void()> work) {
            if (way.threadsToBeHad >= 0 && started++ >= way.threadsToBeHad)
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            return std::thread(std::move(work));
        };
        const std::string archive = dir / (std::string(way.name) + ".lzh");
        ASSERT_EQ(archiver::storeFolder(archive, dir / "src/", options).code, ArchiverOk) << way.name;
        if (first.empty()) {
            first = readFile(archive);
            ASSERT_EQ(expand(archive, dir / "out"), ArchiverOk);
            EXPECT_EQ(readTree(dir / "out"), readTree(dir / "src"));
            EXPECT_EQ(methodOf(archive, "large.bin"), "lh7");
        } else {
            EXPECT_TRUE(readFile(archive) == first) << way.name;
        }
    }
}

TEST(StoreExpand, nameWithByteFFIsRefusedRatherThanSplitIntoFolders) {
    TempDir dir;
    writeFile(dir / "src/d\xffx/f.txt", "would land in d/x/");
    EXPECT_EQ(store(dir / "a.lzh", dir / "src"), ArchiverUnsupported);
    EXPECT_FALSE(std::filesystem::exists(dir / "a.lzh"));
}

TEST(StoreExpand, linkLeadingOutsideIsSkippedWithAWarningAndTheArchiveStillExpands) {
    TempDir dir;
    writeFile(dir / "src/a.txt", "a");
    makeSymlink("/etc/passwd", dir / "src/absolute");
    makeSymlink("../../outside", dir / "src/sub/climbing");
    makeSymlink("../a.txt", dir / "src/sub/inside");
    // Inside one by one, but chain leaves the folder: back/up is the folder itself.
    makeSymlink("../..", dir / "src/back/up/self");
    makeSymlink("back/up/self/..", dir / "src/chain");
    std::vector<std::string> warnings;
    SetArchiverWarningCallback([&](const std::string& m) { warnings.push_back(m); });
    const int code = Unlha(nullptr, storeCommand(dir / "a.lzh", dir / "src", false), nullptr, 0);
    SetArchiverWarningCallback({});
    ASSERT_EQ(code, ArchiverOk);
    const auto paths = memberPaths(dir / "a.lzh");
    EXPECT_EQ(paths, (std::vector<std::string>{"a.txt", "back", "back/up", "back/up/self", "sub",
                                               "sub/inside"}));
    EXPECT_EQ(warnings.size(), 3u);
    EXPECT_EQ(VerifyArchive(dir / "a.lzh", dir / "src/"), ArchiverOk);
    EXPECT_EQ(expand(dir / "a.lzh", dir / "out"), ArchiverOk);
}

TEST(StoreExpand, quietCommandReportsNothingAndOtherwiseProgressReachesTheTotal) {
    TempDir dir;
    writeFile(dir / "src/one.txt", std::string(1000, 'x'));
    writeFile(dir / "src/two.txt", std::string(3000, 'y'));
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    SetArchiverProgressCallback([&](const std::string&, std::uint64_t done, std::uint64_t total) {
        reports.emplace_back(done, total);
    });
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "q.lzh", dir / "src", true), nullptr, 0),
              ArchiverOk);
    EXPECT_TRUE(reports.empty());
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "p.lzh", dir / "src", false), nullptr, 0),
              ArchiverOk);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), std::make_pair(std::uint64_t{4000}, std::uint64_t{4000}));
    reports.clear();
    ASSERT_EQ(Unlha(nullptr, expandCommand(dir / "p.lzh", dir / "out", false), nullptr, 0),
              ArchiverOk);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().first, 4000u);
    SetArchiverProgressCallback({});
}

TEST(StoreUpdate, keepsMembersGoneFromTheFolderAndReplacesChangedOnes) {
    TempDir dir;
    writeFile(dir / "src/keep.txt", "keep");
    writeFile(dir / "src/gone.txt", "gone");
    writeFile(dir / "src/change.txt", "old content");
    ASSERT_EQ(store(dir / "a.lzh", dir / "src"), ArchiverOk);
    std::filesystem::remove(dir / "src/gone.txt");
    writeFile(dir / "src/change.txt", "new content, longer than before");
    writeFile(dir / "src/added.txt", "added");
    ASSERT_EQ(store(dir / "a.lzh", dir / "src"), ArchiverOk);
    ASSERT_EQ(expand(dir / "a.lzh", dir / "out"), ArchiverOk);
    EXPECT_EQ(readFile(dir / "out/gone.txt"), "gone");
    EXPECT_EQ(readFile(dir / "out/change.txt"), "new content, longer than before");
    EXPECT_EQ(readFile(dir / "out/added.txt"), "added");
    EXPECT_EQ(readFile(dir / "out/keep.txt"), "keep");
    EXPECT_EQ(memberPaths(dir / "a.lzh").size(), 4u);
}

TEST(StoreUpdate, oldMembersThatNoLongerFitTheFolderAreLeftOutSoTheArchiveStillExpands) {
    using Change = std::function<void(const std::string& src)>;
    struct Case {
        const char* name;
        Change before, after;
        std::vector<std::string> members;
    };
    const Case cases[] = {
        {"folder replaced by a file", [](const std::string& src) { writeFile(src + "/w/c", "c"); },
         [](const std::string& src) {
             std::filesystem::remove_all(src + "/w");
             writeFile(src + "/w", "now a file");
         },
         {"w"}},
        {"folder replaced by a link",
         [](const std::string& src) {
             writeFile(src + "/w/c", "c");
             writeFile(src + "/x/y", "y");
         },
         [](const std::string& src) {
             std::filesystem::remove_all(src + "/w");
             makeSymlink("x", src + "/w");
         },
         {"w", "x", "x/y"}},
        {"kept link leading out through a new link",
         [](const std::string& src) {
             makeDirs(src + "/d");
             makeSymlink("d/..", src + "/t");
         },
         [](const std::string& src) {
             std::filesystem::remove(src + "/t");
             std::filesystem::remove(src + "/d");
             makeSymlink(".", src + "/d");
         },
         {"d"}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string src = dir / "src";
        c.before(src);
        ASSERT_EQ(store(dir / "a.lzh", src), ArchiverOk) << c.name;
        c.after(src);
        std::vector<std::string> warnings;
        SetArchiverWarningCallback([&](const std::string& m) { warnings.push_back(m); });
        const int code = Unlha(nullptr, storeCommand(dir / "a.lzh", src, false), nullptr, 0);
        SetArchiverWarningCallback({});
        ASSERT_EQ(code, ArchiverOk) << c.name;
        EXPECT_EQ(memberPaths(dir / "a.lzh"), c.members) << c.name;
        EXPECT_EQ(warnings.size(), 1u) << c.name;
        EXPECT_EQ(expand(dir / "a.lzh", dir / "out"), ArchiverOk) << c.name;
    }
}

TEST(StoreUpdate, unchangedFilesAreCopiedRawAndOnlyChangedOnesCompressed) {
    TempDir dir;
    for (int i = 0; i < 20; ++i)
        writeFile(dir / ("src/f" + std::to_string(i) + ".txt"),
                  randomData(20000, static_cast<unsigned>(i), 8));
    archiver::StoreOptions options;
    auto first = archiver::storeFolder(dir / "a.lzh", dir / "src/", options);
    ASSERT_EQ(first.code, ArchiverOk);
    EXPECT_EQ(first.compressed, 20u);
    // Same size, new content and a new time: must be recompressed.
    writeFile(dir / "src/f3.txt", randomData(20000, 99, 8));
    setMtime(dir / "src/f3.txt", 1600000000);
    // Same content, only the mode changed: copied, with the new mode in its header.
    ::chmod((dir / "src/f4.txt").c_str(), 0755);
    auto second = archiver::storeFolder(dir / "a.lzh", dir / "src/", options);
    ASSERT_EQ(second.code, ArchiverOk);
    EXPECT_EQ(second.compressed, 1u);
    EXPECT_EQ(second.copied, 19u);
    ASSERT_EQ(expand(dir / "a.lzh", dir / "out"), ArchiverOk);
    EXPECT_EQ(readTree(dir / "out"), readTree(dir / "src"));
}

// Workers prepare members ahead of the writer only as far as memory allows, but the member
// the writer waits for always goes: however little is allowed, a store and an update finish
// and hold every file, large ones (whose data spills to disk) among them.
TEST(StoreUpdate, storesAndUpdatesWhateverMemoryMayBeHeldAhead) {
    for (const std::size_t memoryAhead : {std::size_t{1}, std::size_t{300 * 1024}}) {
        TempDir dir;
        for (int i = 0; i < 12; ++i)
            writeFile(dir / ("src/f" + std::to_string(i) + ".bin"),
                      randomData(i % 4 == 0 ? 400000 : 5000, static_cast<unsigned>(i), 6));
        archiver::StoreOptions options;
        options.threads = 3;
        options.memoryAhead = memoryAhead;
        ASSERT_EQ(archiver::storeFolder(dir / "a.lzh", dir / "src/", options).code, ArchiverOk);
        writeFile(dir / "src/f4.bin", randomData(400000, 44, 6));
        writeFile(dir / "src/f5.bin", randomData(5000, 55, 6));
        const auto update = archiver::storeFolder(dir / "a.lzh", dir / "src/", options);
        ASSERT_EQ(update.code, ArchiverOk) << memoryAhead;
        EXPECT_EQ(update.compressed, 2u) << memoryAhead;
        ASSERT_EQ(expand(dir / "a.lzh", dir / "out"), ArchiverOk) << memoryAhead;
        EXPECT_EQ(readTree(dir / "out"), readTree(dir / "src")) << memoryAhead;
    }
}

TEST(StoreUpdate, failedStoreLeavesThePreviousArchiveAndNoTemporaryFiles) {
    TempDir dir;
    writeFile(dir / "src/a.txt", "a");
    ASSERT_EQ(store(dir / "a.lzh", dir / "src"), ArchiverOk);
    const std::string good = readFile(dir / "a.lzh");

    // The source folder is gone: nothing may change.
    EXPECT_EQ(store(dir / "a.lzh", dir / "missing"), ArchiverCannotOpen);
    EXPECT_EQ(readFile(dir / "a.lzh"), good);

    // An archive that cannot be read is not overwritten by a store either.
    writeFile(dir / "broken.lzh", good.substr(0, good.size() / 2));
    const std::string broken = readFile(dir / "broken.lzh");
    EXPECT_EQ(store(dir / "broken.lzh", dir / "src"), ArchiverBrokenArchive);
    EXPECT_EQ(readFile(dir / "broken.lzh"), broken);

    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    // Nothing beside the archives: their lock files live in the user's lock folder.
    EXPECT_EQ(names, (std::vector<std::string>{"a.lzh", "broken.lzh", "src"}));
}

TEST_P(RoundTrip, rebuildsAFolderWithThousandsOfSmallFilesInOrder) {
    TempDir dir;
    for (int i = 0; i < 1500; ++i)
        writeFile(dir / ("src/d" + std::to_string(i % 30) + "/f" + std::to_string(i) + ".txt"),
                  "file " + std::to_string(i));
    ASSERT_EQ(store(dir / "a.lzh", dir / "src"), ArchiverOk);
    ASSERT_EQ(expand(dir / "a.lzh", dir / "out"), ArchiverOk);
    EXPECT_EQ(readTree(dir / "out"), readTree(dir / "src"));
}

TEST_P(Expand, overwritesExistingFilesAndCreatesTheDestination) {
    TempDir dir;
    writeFile(dir / "src/a.txt", "from the archive");
    ASSERT_EQ(store(dir / "a.lzh", dir / "src"), ArchiverOk);
    writeFile(dir / "out/a.txt", "stale", 0444);
    writeFile(dir / "out/other.txt", "untouched");
    ASSERT_EQ(expand(dir / "a.lzh", dir / "out"), ArchiverOk);
    EXPECT_EQ(readFile(dir / "out/a.txt"), "from the archive");
    EXPECT_EQ(readFile(dir / "out/other.txt"), "untouched");
    ASSERT_EQ(expand(dir / "a.lzh", dir / "new/deep/dest"), ArchiverOk);
    EXPECT_EQ(readFile(dir / "new/deep/dest/a.txt"), "from the archive");
}

TEST(VerifyArchive, acceptsACompleteArchiveAndNamesWhatIsMissingOrDifferent) {
    TempDir dir;
    writeFile(dir / "src/a.txt", "a");
    writeFile(dir / "src/sub/b.txt", "bbb");
    makeDirs(dir / "src/empty");
    ASSERT_EQ(store(dir / "a.lzh", dir / "src"), ArchiverOk);
    EXPECT_EQ(VerifyArchive(dir / "a.lzh", dir / "src/"), ArchiverOk);

    writeFile(dir / "src/new.txt", "not stored yet");
    EXPECT_EQ(VerifyArchive(dir / "a.lzh", dir / "src/"), ArchiverIncomplete);
    std::filesystem::remove(dir / "src/new.txt");

    writeFile(dir / "src/sub/b.txt", "bbc"); // same size, other bytes
    EXPECT_EQ(VerifyArchive(dir / "a.lzh", dir / "src/"), ArchiverIncomplete);
    writeFile(dir / "src/sub/b.txt", "bbb");

    std::string bytes = readFile(dir / "a.lzh");
    bytes.resize(bytes.size() - 2);
    writeFile(dir / "cut.lzh", bytes);
    EXPECT_NE(VerifyArchive(dir / "cut.lzh", dir / "src/"), ArchiverOk);
    EXPECT_EQ(VerifyArchive(dir / "none.lzh", dir / "src/"), ArchiverCannotOpen);
}

TEST(UnZipExpand, namesWithoutTheUtf8FlagAreReadAsCp932) {
    TempDir dir;
    const std::string sjis = "\x95\x5c\x8e\xa6.txt"; // 表示.txt in CP932, second byte 0x5C
    writeRawZip(dir / "old.zip", {{sjis, "shift_jis name", ""}, {"plain/ascii.txt", "ascii", ""}},
                false);
    ASSERT_EQ(UnZip(nullptr, "-xs -n \"" + (dir / "old.zip") + "\" \"" + (dir / "out") + "/\"",
                    nullptr, 0),
              ArchiverOk);
    EXPECT_EQ(readFile(dir / "out/表示.txt"), "shift_jis name");
    EXPECT_EQ(readFile(dir / "out/plain/ascii.txt"), "ascii");

    writeRawZip(dir / "new.zip", {{"日本語/é😀.txt", "utf-8 name", ""}}, true);
    ASSERT_EQ(
        UnZip(nullptr, "-xs \"" + (dir / "new.zip") + "\" \"" + (dir / "out2") + "/\"", nullptr, 0),
        ArchiverOk);
    EXPECT_EQ(readFile(dir / "out2/日本語/é😀.txt"), "utf-8 name");
}

// Hostile and damaged archives. Each case is built here by its recipe (writeRawLzh /
// writeRawZip write the names exactly as given), so the inputs are documented by the code,
// or is a file of fixtures/hostile, whose README and make.py say how it was made.

#include "archivertestsupport.h"
#include "rawarchive.h"

#include "archiver/archiver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/statvfs.h>

using namespace vadok;
using namespace vadok::test;

namespace {

enum class Formats { Both, LzhOnly, ZipOnly };

const std::string kFixtures = VADOK_HOSTILE_FIXTURES;

struct HostileCase {
    const char* name;
    std::vector<RawMember> members;
    Formats formats = Formats::Both;
    int code = ArchiverUnsafeEntry;
    const char* fixture = nullptr; // in place of members
};

std::vector<HostileCase> hostileCases(const std::string& outside) {
    // Each link of a chain looks harmless on its own: s climbs back to the destination
    // itself, t climbs one further through s, etc reaches outside through t.
    const std::vector<RawMember> chain = {{"a/b/c/d/s", "", "../../../.."},
                                          {"t", "", "a/b/c/d/s/.."},
                                          {"etc", "", "t/etc"}};
    return {
        {"abspath-climbing", {{"ok.txt", "fine", ""}, {"/../abs.txt", "evil", ""}}},
        {"dotdot", {{"ok.txt", "fine", ""}, {"../dotdot.txt", "evil", ""}}},
        {"dotdot-nested", {{"a/../../nested.txt", "evil", ""}}},
        {"symlink-out-absolute", {{"ok.txt", "fine", ""}, {"link", "", outside}}},
        {"symlink-out-relative", {{"sub/link", "", "../../.."}}},
        {"symlink-chain", chain},
        {"symlink-chain-hidden-by-dot-parts", {{"a/./s", "", ".."}, {"t", "", "a/s/.."}}},
        {"symlink-target-absolute-through-a-link", {{"s", "", "."}, {"t", "", "s/x"},
                                                    {"x", "", "/etc"}}},
        {"write-through-a-link", {{"sub", "", "."}, {"sub/file.txt", "through the link", ""}}},
        // The later member of a path is the one that stays: here the link.
        {"write-through-a-link-that-replaced-a-file", {{"sub", "plain", ""}, {"sub", "", "."},
                                                      {"sub/file.txt", "through the link", ""}}},
        {"nul-in-name", {{std::string("..\0x", 4), "evil", ""}}},
        {"nul-in-name-hiding-dotdot", {{"ok.txt", "fine", ""},
                                       {std::string("ok\0../../PWN", 12), "evil", ""}}},
        {"nul-in-link-target", {{"link", "", std::string("..\0/x", 5)}}},
        {"nul-in-link-target-hiding-dotdot", {{"ok.txt", "fine", ""},
                                              {"sub/link", "", std::string("sub\0../..", 9)}}},
        {"char-device", {{"null", "", "", false, 0020666}}, Formats::ZipOnly},
        {"block-device", {{"disk", "", "", false, 0060660}}, Formats::ZipOnly},
        // Info-ZIP once stored pipes it read from this way; libarchive makes them plain files.
        {"fifo", {{"ok.txt", "fine", ""}, {"pipe", "data", "", false, 0010644}}, Formats::ZipOnly},
        {"socket", {{"ok.txt", "fine", ""}, {"sock", "", "", false, 0140644}}, Formats::ZipOnly},
        // Sizes near 2^64: a walk that wrapped round read the same header for ever, a total
        // that wrapped to 0 passed the free-space check and the data filled the disk.
        {"walk-backwards", {}, Formats::LzhOnly, ArchiverBrokenArchive, "walk-backwards.lzh"},
        {"walk-backwards-level1", {}, Formats::LzhOnly, ArchiverBrokenArchive,
         "walk-backwards-level1.lzh"},
        {"walk-backwards-level3", {}, Formats::LzhOnly, ArchiverBrokenArchive,
         "walk-backwards-level3.lzh"},
        {"walk-back-to-first", {}, Formats::LzhOnly, ArchiverBrokenArchive,
         "walk-back-to-first.lzh"},
        {"walk-backwards-sfx", {}, Formats::LzhOnly, ArchiverBrokenArchive,
         "walk-backwards-sfx.lzh"},
        {"sizes-wrap", {}, Formats::LzhOnly, ArchiverWriteError, "sizes-wrap.lzh"},
        {"sizes-wrap-zip64", {}, Formats::ZipOnly, ArchiverWriteError, "sizes-wrap.zip"},
    };
}

// A missing fixture fails the test: read as empty, it would be refused and pass.
std::string hostileFixture(const char* name) {
    const std::string bytes = readFile(kFixtures + "/" + name);
    EXPECT_FALSE(bytes.empty()) << "missing fixture " << name;
    return bytes;
}

int expandZip(const std::string& archive, const std::string& dest) {
    return UnZip(nullptr, "-xs -n \"" + archive + "\" \"" + dest + "/\"", nullptr, 0);
}

// Each case runs on one thread and on several (kExpandThreads).
class Expansion : public ::testing::TestWithParam<unsigned> {
protected:
    int expandLzh(const std::string& archive, const std::string& dest) {
        return expandWithThreads(archive, dest, false, GetParam());
    }
    int expandZip(const std::string& archive, const std::string& dest) {
        return expandWithThreads(archive, dest, true, GetParam());
    }
};
class HostileArchive : public Expansion {};
class DamagedArchive : public Expansion {};

} // namespace

INSTANTIATE_TEST_SUITE_P(Threads, HostileArchive, ::testing::ValuesIn(kExpandThreads));
INSTANTIATE_TEST_SUITE_P(Threads, DamagedArchive, ::testing::ValuesIn(kExpandThreads));

TEST_P(HostileArchive, failTheCallBeforeAnythingIsWritten) {
    for (const bool zip : {false, true}) {
        TempDir dir;
        const std::string outside = dir / "outside";
        makeDirs(outside);
        for (const auto& c : hostileCases(outside)) {
            if (c.formats == (zip ? Formats::LzhOnly : Formats::ZipOnly))
                continue;
            const std::string archive = dir / (std::string(c.name) + (zip ? ".zip" : ".lzh"));
            if (c.fixture)
                writeFile(archive, hostileFixture(c.fixture));
            else
                zip ? writeRawZip(archive, c.members) : writeRawLzh(archive, c.members);
            const std::string dest = dir / ("dest-" + std::string(c.name));
            const int code = zip ? expandZip(archive, dest) : expandLzh(archive, dest);
            EXPECT_EQ(code, c.code) << c.name << (zip ? " zip" : " lzh");
            // The sizes panel reads every archive of the pack folder at each start.
            if (!zip) {
                EXPECT_EQ(ReadArchiveSizes(archive).code,
                          c.code == ArchiverBrokenArchive ? ArchiverBrokenArchive : ArchiverOk)
                    << c.name;
            }
            EXPECT_FALSE(std::filesystem::exists(dest))
                << c.name << ": the destination was written";
            EXPECT_TRUE(readTree(outside).empty()) << c.name << ": wrote outside\n"
                                                   << describe(readTree(outside));
            EXPECT_EQ(readTree(dir.path()).count("x"), 0u) << c.name;
            EXPECT_FALSE(std::filesystem::exists(dir / "dotdot.txt"));
            EXPECT_FALSE(std::filesystem::exists(dir / "nested.txt"));
        }
    }
}

// Old LHA programs stored absolute names; lhasa and tar expand them below the destination,
// and a store keeps one member per file, whichever way the archive named it.
TEST_P(HostileArchive, absoluteNamesExpandBelowTheDestinationAndStoreBackOnce) {
    for (const bool zip : {false, true}) {
        TempDir dir;
        const std::string outside = dir / "outside";
        makeDirs(outside);
        const std::vector<RawMember> members = {{"/" + outside + "/abs.txt", "was absolute", ""},
                                                {"//two/slashes.txt", "two", ""}};
        const std::string archive = dir / (zip ? "abs.zip" : "abs.lzh");
        zip ? writeRawZip(archive, members) : writeRawLzh(archive, members);
        const std::string out = dir / "out";
        ASSERT_EQ(zip ? expandZip(archive, out) : expandLzh(archive, out), ArchiverOk);
        EXPECT_EQ(readFile(out + outside + "/abs.txt"), "was absolute");
        EXPECT_EQ(readFile(out + "/two/slashes.txt"), "two");
        EXPECT_TRUE(readTree(outside).empty()) << describe(readTree(outside));
        if (zip)
            continue;
        writeFile(out + "/two/slashes.txt", "edited");
        ASSERT_EQ(Unlha(nullptr, storeCommand(archive, out), nullptr, 0), ArchiverOk);
        const std::string again = dir / "again";
        ASSERT_EQ(expandLzh(archive, again), ArchiverOk);
        EXPECT_EQ(readFile(again + "/two/slashes.txt"), "edited");
        EXPECT_EQ(readTree(again), readTree(out));
    }
}

TEST_P(HostileArchive, linksThatStayInsideAreExpandedChainsIncluded) {
    for (const bool zip : {false, true}) {
        TempDir dir;
        const std::vector<RawMember> members = {{"bin/tool", "#!/bin/sh\n", ""},
                                                {"sub/link", "", "../bin/tool"},
                                                {"here", "", "."},
                                                {"a/b/up", "", "../.."},
                                                {"via", "", "a/b/up/sub/link"}};
        const std::string archive = dir / (zip ? "ok.zip" : "ok.lzh");
        zip ? writeRawZip(archive, members) : writeRawLzh(archive, members);
        ASSERT_EQ(zip ? expandZip(archive, dir / "out") : expandLzh(archive, dir / "out"),
                  ArchiverOk);
        EXPECT_EQ(readFile(dir / "out/sub/link"), "#!/bin/sh\n");
        EXPECT_EQ(readFile(dir / "out/via"), "#!/bin/sh\n");
    }
}

TEST_P(HostileArchive, linkLeadingOutThroughALinkAlreadyInTheDestinationIsRefused) {
    TempDir dir;
    makeSymlink(".", dir / "dest/self");
    writeRawLzh(dir / "a.lzh", {{"ok.txt", "fine", ""}, {"up", "", "self/.."}});
    EXPECT_EQ(expandLzh(dir / "a.lzh", dir / "dest"), ArchiverUnsafeEntry);
    EXPECT_FALSE(std::filesystem::exists(dir / "dest/ok.txt"));
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "dest/up"));
}

// A destination that holds entries is expanded in place, so the links it already holds
// count: one leading outside makes a harmless-looking link to it lead outside too.
TEST_P(HostileArchive, linkToALinkInTheDestinationLeadingOutsideIsRefused) {
    for (const bool zip : {false, true}) {
        for (const char* target : {"abs", "abs/sub", "./abs/"}) {
            TempDir dir;
            makeDirs(dir / "elsewhere");
            makeSymlink(dir / "elsewhere", dir / "dest/abs");
            const std::vector<RawMember> members = {{"ok.txt", "fine", ""}, {"via", "", target}};
            const std::string archive = dir / (zip ? "a.zip" : "a.lzh");
            zip ? writeRawZip(archive, members) : writeRawLzh(archive, members);
            const int code = zip ? expandZip(archive, dir / "dest") : expandLzh(archive, dir / "dest");
            EXPECT_EQ(code, ArchiverUnsafeEntry) << target << (zip ? " zip" : " lzh");
            EXPECT_FALSE(std::filesystem::is_symlink(dir / "dest/via")) << target;
            EXPECT_FALSE(std::filesystem::exists(dir / "dest/ok.txt")) << target;
            EXPECT_TRUE(readTree(dir / "elsewhere").empty()) << target;
        }
    }
}

TEST_P(DamagedArchive, memberDataOtherThanItsDeclaredSizeFailsAndIsNeverPaddedOut) {
    struct Case {
        const char* name;
        std::string bytes;
        bool zip;
    };
    LzhEntry claims4GiB{"big.bin", ""};
    claims4GiB.originalSize = 0xFFFFFFFF;
    LzhEntry packedClaims4GiB{"big.bin", "", "lh5"};
    packedClaims4GiB.originalSize = 0xFFFFFFFF;
    LzhEntry claimsLess{"small.bin", "ten bytes!"};
    claimsLess.originalSize = 5;
    const std::vector<Case> cases = {
        {"lzh claiming 4 GiB in 44 bytes", lzhArchive({claims4GiB}), false},
        {"lzh holding more than it claims", lzhArchive({claimsLess}), false},
        {"lzh -lh5- claiming 4 GiB from no data", lzhArchive({packedClaims4GiB}), false},
        {"zip claiming 256 bytes for an empty file",
         rawZip({{"empty.txt", "", "", false, 0, 256}}), true},
        {"zip holding more than it claims", rawZip({{"small.bin", "ten bytes!", "", false, 0, 5}}),
         true},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir / "case.bin", c.bytes);
        const std::string dest = dir / "dest";
        EXPECT_EQ(c.zip ? expandZip(dir / "case.bin", dest) : expandLzh(dir / "case.bin", dest),
                  ArchiverBrokenArchive)
            << c.name;
        for (const auto& [path, node] : readTree(dest))
            EXPECT_LE(node.content.size(), 10u) << c.name << ": " << path;
    }
}

// Relative destinations are checked against the file system of their nearest existing
// folder too, the working folder included, and so are those of the command strings.
TEST_P(DamagedArchive, archiveClaimingMoreThanTheFreeSpaceIsRefusedBeforeWriting) {
    TempDir dir;
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(dir.path().c_str(), &fs), 0);
    const std::uint64_t free = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
    std::vector<LzhEntry> entries = {{"first.txt", "written first"}};
    std::vector<RawMember> zipMembers = {{"first.txt", "written first", ""}};
    // Twice the free space, so that others freeing space meanwhile change nothing.
    for (std::uint64_t claimed = 0; claimed <= 2 * free; claimed += 0xFFFFFFFF) {
        LzhEntry e{"huge" + std::to_string(entries.size()), "", "lh5"};
        e.originalSize = 0xFFFFFFFF;
        entries.push_back(e);
        zipMembers.push_back({e.name, "", "", false, 0, 0xFFFFFFFF});
    }
    writeFile(dir / "big.lzh", lzhArchive(entries));
    writeRawZip(dir / "big.zip", zipMembers);

    struct WorkingFolder {
        std::string previous = std::filesystem::current_path();
        ~WorkingFolder() { std::filesystem::current_path(previous); }
    } restore;
    std::filesystem::current_path(dir.path());
    for (const std::string& dest : {dir / "abs", std::string("rel"), std::string("./dotted"),
                                   std::string("rel2/deeper")}) {
        EXPECT_EQ(expandLzh("big.lzh", dest), ArchiverWriteError) << dest;
        EXPECT_EQ(expandZip("big.zip", dest), ArchiverWriteError) << dest;
        EXPECT_EQ(Unlha(nullptr, "x -d1 -y1 -n \"big.lzh\" \"" + dest + "/\" *", nullptr, 0),
                  ArchiverWriteError)
            << dest;
        EXPECT_EQ(UnZip(nullptr, "-xs -n \"big.zip\" \"" + dest + "/\"", nullptr, 0),
                  ArchiverWriteError)
            << dest;
    }
    // The two archives and nothing else: nothing written, no lock file beside them.
    EXPECT_EQ(readTree(dir.path()).size(), 2u) << describe(readTree(dir.path()));
}

TEST_P(DamagedArchive, truncatedCorruptedAndForeignFilesFailWithACodeAndNeverCrash) {
    TempDir dir;
    writeFile(dir / "src/big.txt", randomData(200000, 4, 10));
    writeFile(dir / "src/small.txt", "small");
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "good.lzh", dir / "src"), nullptr, 0), ArchiverOk);
    const std::string good = readFile(dir / "good.lzh");
    ASSERT_EQ(run("cd " + quote(dir / "src") + " && bsdtar -a -cf ../good.zip big.txt small.txt"),
              0);
    const std::string goodZip = readFile(dir / "good.zip");

    struct Case {
        const char* name;
        std::string bytes;
        bool zip;
    };
    std::string flipped = good;
    flipped[good.size() / 2] = static_cast<char>(flipped[good.size() / 2] ^ 0x55);
    std::string headerFlipped = good;
    headerFlipped[10] = static_cast<char>(headerFlipped[10] ^ 0x01);
    std::string zipFlipped = goodZip;
    zipFlipped[goodZip.size() / 3] = static_cast<char>(zipFlipped[goodZip.size() / 3] ^ 0x55);
    const std::vector<Case> cases = {
        {"truncated in data", good.substr(0, good.size() / 2), false},
        {"truncated in a header", good.substr(0, 12), false},
        {"flipped data byte", flipped, false},
        {"flipped header byte", headerFlipped, false},
        {"not an archive", std::string(1000, 'Z'), false},
        {"empty file", "", false},
        {"zip truncated", goodZip.substr(0, goodZip.size() / 2), true},
        {"zip flipped data byte", zipFlipped, true},
        {"zip given to Unlha", goodZip, false},
        {"lzh given to UnZip", good, true},
    };
    for (const auto& c : cases) {
        const std::string archive = dir / "case.bin";
        writeFile(archive, c.bytes);
        const std::string dest = dir / "dest";
        const int code = c.zip ? expandZip(archive, dest) : expandLzh(archive, dest);
        EXPECT_NE(code, ArchiverOk) << c.name;
        EXPECT_TRUE(code == ArchiverBrokenArchive) << c.name << " gave " << std::hex << code;
        std::filesystem::remove_all(dest);
    }
    EXPECT_EQ(expandLzh(dir / "missing.lzh", dir / "dest"), ArchiverCannotOpen);
}

TEST(DamagedZip, cutAnywhereInItsCentralDirectoryFails) {
    TempDir dir;
    const std::string whole = rawZip({{"a.txt", "aaa", ""}, {"dir", "", "", true},
                                      {"dir/b.txt", std::string(100, 'b'), ""},
                                      {"dir/c.txt", "c", ""}});
    const std::size_t directory = whole.find("PK\x01\x02");
    ASSERT_NE(directory, std::string::npos);
    for (std::size_t cut = directory; cut < whole.size(); ++cut) {
        writeFile(dir / "cut.zip", whole.substr(0, cut));
        EXPECT_EQ(expandZip(dir / "cut.zip", dir / "out"), ArchiverBrokenArchive) << cut;
    }
}

TEST_P(DamagedArchive, corruptedDataInOldHeaderLevelsIsCaughtByItsCrc) {
    if (!haveProgram("jlha"))
        GTEST_FAIL() << "jlha missing: scripts/setup installs jlha-utils";
    for (const char* options : {"a0o5", "a1o7", "a0z"}) {
        TempDir dir;
        writeFile(dir / "src/data.txt", randomData(50000, 5, 12));
        ASSERT_EQ(run("cd " + quote(dir / "src") + " && jlha " + options +
                      " ../a.lzh data.txt >/dev/null 2>&1"),
                  0);
        std::string bytes = readFile(dir / "a.lzh");
        // Well inside the member data, past the header.
        bytes[bytes.size() - 200] = static_cast<char>(bytes[bytes.size() - 200] ^ 0x10);
        writeFile(dir / "bad.lzh", bytes);
        EXPECT_EQ(expandLzh(dir / "bad.lzh", dir / "out"), ArchiverBrokenArchive)
            << options;
    }
}

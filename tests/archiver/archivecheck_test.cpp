// The launcher's own looks at an archive: the full check of every member and the sizes from
// the headers. Each damage gets the reason and the member a user is to be told about.

#include "archivertestsupport.h"
#include "rawarchive.h"

#include "archiver/archiver.h"
#include "archiver/lzh/lzhheaderreader.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace vadok;
using namespace vadok::test;

namespace {

struct Sample {
    std::string bytes;
    std::map<std::string, archiver::LzhMember> members;
};

// a.txt packed, b.bin stored (random data does not shrink), sub/c.txt packed.
Sample sampleArchive(const TempDir& dir) {
    writeFile(dir / "src/a.txt", randomData(40000, 1, 8));
    writeFile(dir / "src/b.bin", randomData(30000, 2));
    writeFile(dir / "src/sub/c.txt", randomData(50000, 3, 8));
    EXPECT_EQ(Unlha(nullptr, storeCommand(dir / "sample.lzh", dir / "src"), nullptr, 0), ArchiverOk);
    Sample s{readFile(dir / "sample.lzh"), {}};
    for (auto& m : archiver::readArchiveIndex(dir / "sample.lzh").members)
        s.members[m.path] = m;
    return s;
}

std::string flipped(std::string bytes, std::uint64_t at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
    return bytes;
}

} // namespace

TEST(CheckArchive, namesTheFirstDamagedMemberWithWhatIsWrong) {
    TempDir dir;
    const Sample s = sampleArchive(dir);
    const auto& a = s.members.at("a.txt");
    const auto& b = s.members.at("b.bin");
    const auto& c = s.members.at("sub/c.txt");
    ASSERT_EQ(a.methodName(), "lh7");
    ASSERT_EQ(b.methodName(), "lh0");
    using D = ArchiveDamage;
    const struct {
        const char* name;
        std::string bytes;
        int code;
        ArchiveDamage damage;
        std::string member;
        std::uint64_t offset;
    } cases[] = {
        {"sound", s.bytes, ArchiverOk, D::None, "", 0},
        {"packed data byte flipped", flipped(s.bytes, a.dataOffset + a.compressedSize / 2),
         ArchiverBrokenArchive, D::DataDamaged, "a.txt", a.headerOffset},
        {"stored data byte flipped", flipped(s.bytes, b.dataOffset + 100), ArchiverBrokenArchive,
         D::DataDamaged, "b.bin", b.headerOffset},
        {"two members damaged", flipped(flipped(s.bytes, c.dataOffset + 50), b.dataOffset + 7),
         ArchiverBrokenArchive, D::DataDamaged, "b.bin", b.headerOffset},
        {"header byte flipped (its size field)", flipped(s.bytes, c.headerOffset + 8),
         ArchiverBrokenArchive, D::HeaderDamaged, "", c.headerOffset},
        {"header byte flipped (its name)", flipped(s.bytes, c.dataOffset - 20),
         ArchiverBrokenArchive, D::HeaderDamaged, "", c.headerOffset},
        {"cut in a member's data", s.bytes.substr(0, c.dataOffset + 10), ArchiverBrokenArchive,
         D::CutShort, "sub/c.txt", c.headerOffset},
        {"cut in a header", s.bytes.substr(0, c.headerOffset + 12), ArchiverBrokenArchive,
         D::CutShort, "", c.headerOffset},
        {"cut before the end mark", s.bytes.substr(0, s.bytes.size() - 1), ArchiverBrokenArchive,
         D::CutShort, "", s.bytes.size() - 1},
        {"a method nobody decodes", lzhArchive({{"old.bin", "pm2 data", "pm2"}}),
         ArchiverUnsupportedMethod, D::UnsupportedMethod, "old.bin", 0},
        {"not an archive", std::string(300, 'x'), ArchiverBrokenArchive, D::NotAnArchive, "", 0},
        {"a size wrapping round to its own header",
         readFile(VADOK_HOSTILE_FIXTURES "/walk-backwards.lzh"), ArchiverBrokenArchive,
         D::HeaderDamaged, "walk.txt", 0},
    };
    for (const auto& k : cases) {
        writeFile(dir / "case.lzh", k.bytes);
        const ArchiveCheck check = CheckArchive(dir / "case.lzh");
        EXPECT_EQ(check.code, k.code) << k.name << ": " << check.detail;
        EXPECT_EQ(check.damage, k.damage) << k.name << ": " << check.detail;
        EXPECT_EQ(check.member, k.member) << k.name;
        EXPECT_EQ(check.offset, k.offset) << k.name;
    }
    const ArchiveCheck missing = CheckArchive(dir / "missing.lzh");
    EXPECT_EQ(missing.code, ArchiverCannotOpen);
    EXPECT_EQ(missing.damage, ArchiveDamage::Unreadable);
}

TEST(CheckArchive, reportsProgressOnTheCallingThreadUpToTheTotalAndStopsWhenAsked) {
    TempDir dir;
    const Sample s = sampleArchive(dir);
    const auto caller = std::this_thread::get_id();
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    bool elsewhere = false;
    const ArchiveCheck check = CheckArchive(dir / "sample.lzh", [&](std::uint64_t done, std::uint64_t total) {
        elsewhere = elsewhere || std::this_thread::get_id() != caller;
        reports.emplace_back(done, total);
        return true;
    });
    ASSERT_EQ(check.code, ArchiverOk) << check.detail;
    EXPECT_FALSE(elsewhere);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports.front(), std::make_pair(std::uint64_t{0}, std::uint64_t{120000}));
    EXPECT_EQ(reports.back(), std::make_pair(std::uint64_t{120000}, std::uint64_t{120000}));

    int calls = 0;
    const ArchiveCheck cancelled = CheckArchive(dir / "sample.lzh", [&](std::uint64_t, std::uint64_t) {
        ++calls;
        return false;
    });
    EXPECT_EQ(cancelled.code, ArchiverCancelled);
    EXPECT_EQ(calls, 1);
}

TEST(ArchiveSizes, comeFromTheHeadersAloneForEveryHeaderLevel) {
    TempDir dir;
    const Sample s = sampleArchive(dir);
    const ArchiveSizes ours = ReadArchiveSizes(dir / "sample.lzh");
    EXPECT_EQ(ours.code, ArchiverOk);
    EXPECT_EQ(ours.members, 4u); // three files and the folder sub
    EXPECT_EQ(ours.originalBytes, 120000u);

    // Damaged data under sound headers: nothing is decoded, so nothing notices.
    writeFile(dir / "data.lzh", flipped(s.bytes, s.members.at("a.txt").dataOffset + 5));
    EXPECT_EQ(ReadArchiveSizes(dir / "data.lzh").originalBytes, 120000u);

    const auto& c = s.members.at("sub/c.txt");
    writeFile(dir / "header.lzh", flipped(s.bytes, c.headerOffset + 8));
    const ArchiveSizes header = ReadArchiveSizes(dir / "header.lzh");
    EXPECT_EQ(header.code, ArchiverBrokenArchive);
    EXPECT_EQ(header.damage, ArchiveDamage::HeaderDamaged);
    writeFile(dir / "cut.lzh", s.bytes.substr(0, c.dataOffset + 10));
    EXPECT_EQ(ReadArchiveSizes(dir / "cut.lzh").damage, ArchiveDamage::CutShort);
    EXPECT_EQ(ReadArchiveSizes(dir / "missing.lzh").code, ArchiverCannotOpen);
    // Two members of 2^63 bytes: the sum stays at its largest instead of wrapping to 0.
    writeFile(dir / "wraps.lzh", readFile(VADOK_HOSTILE_FIXTURES "/sizes-wrap.lzh"));
    EXPECT_EQ(ReadArchiveSizes(dir / "wraps.lzh").originalBytes, UINT64_MAX);

    if (!haveProgram("jlha"))
        GTEST_FAIL() << "jlha missing: scripts/setup installs jlha-utils";
    for (const char* options : {"a0o5", "a1o6", "a2o7"}) {
        const std::string archive = dir / (std::string(options) + ".lzh");
        ASSERT_EQ(run("cd " + quote(dir / "src") + " && jlha " + options + " " + quote(archive) +
                      " a.txt b.bin sub/c.txt >/dev/null 2>&1"),
                  0);
        const ArchiveSizes jlha = ReadArchiveSizes(archive);
        EXPECT_EQ(jlha.code, ArchiverOk) << options;
        EXPECT_EQ(jlha.originalBytes, 120000u) << options;
        EXPECT_EQ(jlha.members, 3u) << options;
    }
}

TEST(ArchiveSizes, threadsReadingAtOnceGetTheAnswersOfOneAtATime) {
    TempDir dir;
    std::vector<std::string> archives;
    std::vector<ArchiveSizes> expected;
    for (int i = 0; i < 8; ++i) {
        const std::string src = dir / ("src" + std::to_string(i));
        for (int f = 0; f <= i; ++f)
            writeFile(src + "/名前" + std::to_string(f) + ".txt", std::string(1000 * (f + 1), 'x'));
        archives.push_back(dir / ("a" + std::to_string(i) + ".lzh"));
        ASSERT_EQ(Unlha(nullptr, storeCommand(archives.back(), src), nullptr, 0), ArchiverOk);
        expected.push_back(ReadArchiveSizes(archives.back()));
    }
    std::vector<std::future<bool>> readers;
    for (int t = 0; t < 8; ++t)
        readers.push_back(std::async(std::launch::async, [&, t] {
            for (int round = 0; round < 200; ++round) {
                const auto got = ReadArchiveSizes(archives[(t + round) % 8]);
                const auto& want = expected[(t + round) % 8];
                if (got.code != want.code || got.members != want.members ||
                    got.originalBytes != want.originalBytes)
                    return false;
            }
            return true;
        }));
    for (auto& r : readers)
        EXPECT_TRUE(r.get());
    EXPECT_EQ(expected[7].members, 8u);
    EXPECT_EQ(expected[7].originalBytes, 36000u);
}

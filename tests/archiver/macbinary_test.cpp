// Which members MacLHA wrapped in MacBinary, and where their data fork lies. The headers
// are the first bytes of MacLHA's own members (fixtures/lhasa/README); the rows around them
// are what must stay plain data: files that only look like MacBinary, or that are MacBinary
// files archived as such.

#include "archivertestsupport.h"

#include "archiver/archiver.h"
#include "archiver/lzh/macbinary.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace vadok;
using namespace vadok::test;

namespace {

const std::string kFixtures = VADOK_LHASA_FIXTURES;

std::string head(const char* archive) {
    return readFile(kFixtures + "/maclha_224/" + archive + ".first128");
}

archiver::LzhMember macMember(const std::string& path, std::uint64_t size, std::int64_t mtime,
                              char creator = 'm') {
    archiver::LzhMember m;
    m.path = path;
    m.originalSize = size;
    m.mtime = mtime;
    m.creator = creator;
    return m;
}

void putBe32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

} // namespace

TEST(MacBinary, dataForkIsFoundOnlyInMacLhasOwnWrapping) {
    const std::string gpl = head("l1_lh5");       // gpl-2: 18092 bytes, no resource fork
    const std::string gz = head("l2_lh0");        // gpl-2.gz: 6829 bytes
    const std::string hello = head("l1_subdir");  // hello.txt from TeachText: 11 bytes
    const std::string plain = head("l1_nm_lh5");  // MacLHA's "non-Mac" archive: plain text
    for (const std::string* h : {&gpl, &gz, &hello, &plain})
        ASSERT_EQ(h->size(), 128u) << "missing fixture";
    constexpr std::int64_t t1 = 1334681818, t2 = 1334678218, t3 = 1334862602;

    std::string resourceOnly = hello;
    putBe32(resourceOnly, 0x53, 0);
    putBe32(resourceOnly, 0x57, 11);
    std::string bothForks = hello; // each fork padded on its own: 128 + 128 + 128
    putBe32(bothForks, 0x57, 20);
    std::string macBinaryII = gpl;
    macBinaryII[0x7A] = 0x81;
    std::string japanese = gpl; // "テスト" in CP932, as a Japanese Mac names it
    japanese.replace(0x01, 7, std::string("\x06\x83\x65\x83\x58\x83\x67", 7));

    using Fork = archiver::MacBinaryFork;
    const struct {
        const char* name;
        std::string bytes;
        archiver::LzhMember member;
        std::optional<Fork> fork;
    } cases[] = {
        {"level 1, -lh5-", gpl, macMember("gpl-2", 18304, t1), Fork{128, 18092}},
        {"level 2, stored", gz, macMember("gpl-2.gz", 7040, t2), Fork{128, 6829}},
        {"in a folder, other creation time", hello,
         macMember("subdir/subdir2/hello.txt", 256, t3), Fork{128, 11}},
        {"resource fork only", resourceOnly, macMember("hello.txt", 256, t3), Fork{128, 11}},
        {"both forks", bothForks, macMember("hello.txt", 384, t3), Fork{128, 11}},
        {"both forks, padded together", bothForks, macMember("hello.txt", 256, t3), std::nullopt},
        {"Japanese name", japanese, macMember("\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88", 18304, t1),
         Fork{128, 18092}},
        {"13 hours off: a time zone", gpl, macMember("gpl-2", 18304, t1 + 13 * 3600),
         Fork{128, 18092}},
        {"plain text", plain, macMember("gpl-2", 18092, t1), std::nullopt},
        {"level 0: no creator", gpl, macMember("gpl-2", 18304, t1, '\0'), std::nullopt},
        {"another creator", gpl, macMember("gpl-2", 18304, t1, 'U'), std::nullopt},
        {"a MacBinary file archived as one", gpl, macMember("gpl-2.bin", 18304, t1),
         std::nullopt},
        {"forks do not make the size", gpl, macMember("gpl-2", 18304 + 128, t1), std::nullopt},
        {"15 hours off", gpl, macMember("gpl-2", 18304, t1 - 15 * 3600), std::nullopt},
        {"MacBinary II fields set", macBinaryII, macMember("gpl-2", 18304, t1), std::nullopt},
        {"shorter than a header", gpl.substr(0, 100), macMember("gpl-2", 100, t1),
         std::nullopt},
    };
    for (const auto& c : cases) {
        const auto got = archiver::macBinaryDataFork(
            reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size(), c.member);
        ASSERT_EQ(got.has_value(), c.fork.has_value()) << c.name;
        if (got) {
            EXPECT_EQ(got->offset, c.fork->offset) << c.name;
            EXPECT_EQ(got->length, c.fork->length) << c.name;
        }
    }
}

TEST(MacBinary, aMemberWithBothForksExpandsToItsDataForkAlone) {
    TempDir dir;
    writeFile(dir / "both.lzh", readFile(VADOK_HOSTILE_FIXTURES "/macbinary-both-forks.lzh"));
    for (const unsigned threads : kExpandThreads) {
        const std::string out = dir / ("out" + std::to_string(threads));
        ASSERT_EQ(expandWithThreads(dir / "both.lzh", out, false, threads), ArchiverOk);
        EXPECT_EQ(readFile(out + "/both.txt"), "data fork\n");
    }
}

// Headers that LHA programs of other systems wrote (Amiga, OS-9, OS-9/68000, X68000, Atari,
// Unix), read from archives those programs made. What each row expects is what lhasa lists for
// the archive: names, kinds, sizes, methods, CRCs and times (lhasa lower-cases names that are
// all capitals; we keep them as stored).

#include "archivertestsupport.h"
#include "rawarchive.h"

#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzhheaderreader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <tuple>
#include <vector>

using namespace vadok;
using namespace vadok::test;

namespace {

const std::string kFixtures = VADOK_LHASA_FIXTURES;

// Levels 0 and 1 keep local MS-DOS times: the expected times are those of UTC.
class UtcZone {
public:
    UtcZone() {
        if (const char* tz = std::getenv("TZ"))
            m_saved = tz;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    ~UtcZone() {
        if (m_saved)
            ::setenv("TZ", m_saved->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> m_saved;
};

struct Listed {
    const char* path;
    archiver::MemberKind kind;
    const char* method;
    std::uint64_t packed;
    std::uint64_t size;
    std::uint16_t crc;
    std::int64_t mtime;
    std::uint16_t mode; // 0: the header holds none
};

constexpr auto F = archiver::MemberKind::File;
constexpr auto D = archiver::MemberKind::Directory;

std::uint16_t crc16Of(const std::string& bytes, std::uint64_t at, std::uint64_t size) {
    return archiver::crc16Update(0, bytes.data() + at, static_cast<std::size_t>(size));
}

} // namespace

TEST(HeaderVariants, archivesOfOtherSystemsListAsLhasaListsThem) {
    const Listed hello = {"subdir/subdir2/hello.txt", F, "lh0", 12, 12, 0x9778, 329692014, 0};
    const Listed os9 = {"SUBDIR/SUBDIR2/hello.txt", F, "lh0", 12, 12, 0x9778, 1348329540, 0100644};
    const Listed oskDir = {"subdir", D, "lhd", 0, 0, 0, 1277960400, 040777};
    const Listed oskDir2 = {"subdir/subdir2", D, "lhd", 0, 0, 0, 1277960400, 040777};
    const Listed osk = {"subdir/subdir2/hello.txt", F, "lh0", 12, 12, 0x9778, 1262325600, 0100711};
    const Listed oskTop = {"hello.txt", F, "lh0", 12, 12, 0x9778, 1262325600, 0100711};
    const Listed x68kDir = {"subdir", D, "lhd", 0, 0, 0, 1333632378, 0};
    const Listed x68kDir2 = {"subdir/subdir2", D, "lhd", 0, 0, 0, 1333632382, 0};
    const Listed x68k = {"subdir/subdir2/HELLO.TXT", F, "lh0", 12, 12, 0x9778, 1333575870, 0};
    const Listed atari = {"SUBDIR/SUBDIR2/HELLO.TXT", F, "lh0", 12, 12, 0x9778, 1323629376, 0};
    const struct {
        const char* archive;
        const char* why;
        std::vector<Listed> members;
    } rows[] = {
        {"lha_amiga_122/level1.lzh", "folder header without its closing 0xFF", {hello}},
        {"lha_amiga_122/level2.lzh", "folder header without its closing 0xFF", {hello}},
        {"lha_amiga_212/level1.lzh", "Amiga level 1", {hello}},
        {"lha_amiga_212/level2.lzh", "Amiga level 2", {hello}},
        {"lha_os9_211c/h0_subdir.lzh", "OS-9 area, \\ separators", {os9}},
        {"lha_os9_211c/h1_subdir.lzh", "OS-9 extended header 0xCC", {os9}},
        {"lha_os9_211c/h2_subdir.lzh", "OS-9 extended header 0xCC", {{os9.path, F, "lh0", 12, 12,
                                                                      0x9778, 1348347541, 0100644}}},
        {"lha_osk_201/h0_subdir.lzh", "OS-9/68000 area; nameless folders", {oskTop}},
        {"lha_osk_201/h1_subdir.lzh", "OS-9 permissions in 0x50", {oskDir, oskDir2, osk}},
        {"lha_osk_201/h2_subdir.lzh", "size field two bytes short", {oskDir, oskDir2, osk}},
        {"lha_osk_201/h2_lh5.lzh", "size field two bytes short",
         {{"gpl-2", F, "lh5", 7004, 18092, 0xA33A, 1262325600, 0100711}}},
        {"lha_x68k_213/h1_subdir.lzh", "X68000 level-1 folders", {x68kDir, x68kDir2, x68k}},
        {"lha_x68k_213/h2_subdir.lzh", "X68000 level-2 folders",
         {{"subdir", D, "lhd", 0, 0, 0, 1333599978, 0},
          {"subdir/subdir2", D, "lhd", 0, 0, 0, 1333599982, 0},
          {x68k.path, F, "lh0", 12, 12, 0x9778, 1333543470, 0}}},
        {"lharc_atari_313a/h1_subdir.lzh", "\\ separators at level 1", {atari}},
        {"lharc_atari_313a/h2_subdir.lzh", "Atari level-2 folders",
         {{atari.path, F, "lh0", 12, 12, 0x9778, 1326307776, 0}}},
        {"lharc_atari_313a/h2_lh5.lzh", "Atari level 2",
         {{"GPL2", F, "lh5", 7004, 18092, 0xA33A, 1326306636, 0}}},
        {"lha_unix114i/h0_subdir.lzh", "level-0 folders without names",
         {{"hello.txt", F, "lh0", 12, 12, 0x9778, 1262304000, 0100644}}},
    };
    const UtcZone utc;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.archive) + " (" + row.why + ")");
        const std::string path = kFixtures + "/" + row.archive;
        const std::string bytes = readFile(path);
        ASSERT_FALSE(bytes.empty()) << "missing fixture";
        const auto index = archiver::readArchiveIndex(path);
        ASSERT_TRUE(index.ok) << index.error;
        ASSERT_EQ(index.members.size(), row.members.size());
        for (std::size_t i = 0; i < row.members.size(); ++i) {
            const auto& got = index.members[i];
            const Listed& w = row.members[i];
            EXPECT_EQ(std::tuple(got.path, got.kind, got.methodName(), got.compressedSize,
                                 got.originalSize, got.crc, got.mtime, got.unixMode.value_or(0)),
                      std::tuple(std::string(w.path), w.kind, std::string(w.method), w.packed,
                                 w.size, w.crc, w.mtime, w.mode));
            // The header's bytes, then the data, then the next header or the end mark.
            EXPECT_EQ(got.rawHeader.size(), got.dataOffset - got.headerOffset) << w.path;
            const std::uint64_t end = got.dataOffset + got.compressedSize;
            if (i + 1 < row.members.size())
                EXPECT_EQ(index.members[i + 1].headerOffset, end) << w.path;
            else
                EXPECT_TRUE(end < bytes.size() && bytes[end] == '\0') << w.path;
            if (got.methodName() == "lh0" && got.kind == F) {
                EXPECT_EQ(crc16Of(bytes, got.dataOffset, got.compressedSize), got.crc) << w.path;
            }
        }
    }
}

namespace {

void fixLevel0Checksum(std::string& h) {
    unsigned sum = 0;
    const std::size_t size = static_cast<unsigned char>(h[0]) + 2u;
    for (std::size_t i = 2; i < size; ++i)
        sum += static_cast<unsigned char>(h[i]);
    h[1] = static_cast<char>(sum & 0xFF);
}

// A level-1 member whose base name is the given bytes, from the given creator.
std::string levelOneFrom(char creator, const std::string& name) {
    std::string h = lzhEntryBytes({.name = name, .data = "x", .level = 1});
    h[24 + name.size()] = creator;
    fixLevel0Checksum(h);
    return h;
}

} // namespace

// What the allowances above must not let through, and where a "\" is not a separator.
TEST(HeaderVariants, allowancesStayNarrow) {
    TempDir dir;
    const std::string osk = readFile(kFixtures + "/lha_osk_201/h2_subdir.lzh");
    ASSERT_FALSE(osk.empty()) << "missing fixture";
    std::string notOsk = osk; // the same short size field from another creator
    notOsk[23] = 'U';
    std::string namelessFile = readFile(kFixtures + "/lha_unix114i/h0_subdir.lzh");
    ASSERT_FALSE(namelessFile.empty()) << "missing fixture";
    namelessFile[5] = '0'; // -lhd- to -lh0-: a file has to have a name
    fixLevel0Checksum(namelessFile);
    // ソ is 0x83 0x5C in CP932: its second byte is no separator.
    const std::string so = "\x83\x5C";
    const struct {
        const char* name;
        std::string bytes;
        std::optional<std::string> path; // nullopt: refused
    } cases[] = {
        {"short size field from Unix", notOsk, std::nullopt},
        {"nameless file", namelessFile, std::nullopt},
        {"MS-DOS level 1", levelOneFrom('M', "SUB\\" + so + ".TXT") + '\0',
         "SUB/\xE3\x82\xBD.TXT"},
        {"Unix level 1", levelOneFrom('U', "a\\b") + '\0', "a\\b"},
    };
    for (const auto& c : cases) {
        const std::string archive = dir / "case.lzh";
        writeFile(archive, c.bytes);
        const auto index = archiver::readArchiveIndex(archive);
        EXPECT_EQ(index.ok, c.path.has_value()) << c.name << ": " << index.error;
        if (c.path && index.ok) {
            ASSERT_EQ(index.members.size(), 1u) << c.name;
            EXPECT_EQ(index.members[0].path, *c.path) << c.name;
        }
    }
}

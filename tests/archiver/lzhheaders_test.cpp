// Header forms that other LHA programs write and other readers accept: bytes after the end
// mark, level-3 headers, names in UTF-16, methods we cannot decode, times outside 32 bits.
// lhasa and bsdtar tell what a reader should make of the archives built here byte by byte.

#include "archivertestsupport.h"
#include "rawarchive.h"

#include "archiver/archiver.h"
#include "archiver/lzh/lzhheaderreader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>

using namespace vadok;
using namespace vadok::test;

namespace {

std::string utf16(const std::u16string& s) {
    std::string out;
    for (const char16_t c : s) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// Whether the oracle's command, run in a fresh folder beside the archive, extracts it whole.
bool oracleExtracts(const TempDir& dir, const std::string& commandLine, const std::string& file,
                    const std::string& content) {
    std::filesystem::remove_all(dir / "oracle");
    makeDirs(dir / "oracle");
    return run("cd " + quote(dir / "oracle") + " && " + commandLine + " >/dev/null 2>&1") == 0 &&
           exists(dir / ("oracle/" + file)) && readFile(dir / ("oracle/" + file)) == content;
}

} // namespace

// Mail programs and transfers appended text or padding to archives; lhasa and bsdtar read
// such an archive as if the tail were not there. A tail in which a member header parses is
// what is left of an archive whose header was zeroed: that stays damage.
TEST(LzhHeaders, bytesAfterTheEndMarkAreIgnoredUnlessAMemberHeaderHidesInThem) {
    TempDir dir;
    writeFile(dir / "src/a.txt", "alpha");
    writeFile(dir / "src/sub/b.txt", randomData(5000, 7, 16));
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "made.lzh", dir / "src"), nullptr, 0), ArchiverOk);
    const std::string ours = readFile(dir / "made.lzh");
    const std::string raw = lzhArchive({{"a.txt", "alpha"}, {"sub/b.txt", "beta"}});
    const std::string another = lzhArchive({{"c.txt", "gamma"}});
    const struct {
        const char* name;
        std::string bytes;
        bool accepted;
    } cases[] = {
        {"14 bytes of text", ours + "Sent by mailer", true},
        {"text after a raw level-2 archive", raw + "-- \r\nsignature\r\n", true},
        {"padding to a block", ours + std::string(300, '\x1A'), true},
        {"zeros and text", raw + std::string(40, '\0') + "end", true},
        {"a whole archive after it", ours + another, false},
        {"a member header after text", raw + "junk" + another, false},
    };
    for (const auto& c : cases) {
        const std::string archive = dir / "case.lzh";
        writeFile(archive, c.bytes);
        std::filesystem::remove_all(dir / "out");
        const auto index = archiver::readArchiveIndex(archive);
        EXPECT_EQ(index.ok, c.accepted) << c.name << ": " << index.error;
        const ArchiveSizes sizes = ReadArchiveSizes(archive);
        const ArchiveCheck check = CheckArchive(archive);
        const int expanded = Unlha(nullptr, expandCommand(archive, dir / "out"), nullptr, 0);
        if (!c.accepted) {
            EXPECT_EQ(index.damage, ArchiveDamage::HeaderDamaged) << c.name;
            EXPECT_EQ(sizes.code, ArchiverBrokenArchive) << c.name;
            EXPECT_EQ(check.code, ArchiverBrokenArchive) << c.name;
            EXPECT_EQ(expanded, ArchiverBrokenArchive) << c.name;
            EXPECT_FALSE(exists(dir / "out")) << c.name;
            continue;
        }
        EXPECT_EQ(sizes.code, ArchiverOk) << c.name;
        EXPECT_EQ(sizes.members, index.members.size()) << c.name;
        EXPECT_EQ(check.code, ArchiverOk) << c.name << ": " << check.detail;
        ASSERT_EQ(expanded, ArchiverOk) << c.name;
        EXPECT_EQ(readFile(dir / "out/a.txt"), "alpha") << c.name;
        for (const char* oracle : {"lhasa -xq ../case.lzh", "bsdtar -xf ../case.lzh"})
            EXPECT_TRUE(oracleExtracts(dir, oracle, "a.txt", "alpha")) << c.name << ": " << oracle;
        // The store writes the archive anew, without the tail.
        ASSERT_EQ(Unlha(nullptr, storeCommand(archive, dir / "out"), nullptr, 0), ArchiverOk)
            << c.name;
        const std::string stored = readFile(archive);
        EXPECT_EQ(stored.back(), '\0') << c.name;
        const auto again = archiver::readArchiveIndex(archive);
        ASSERT_TRUE(again.ok) << c.name;
        const auto& last = again.members.back();
        EXPECT_EQ(stored.size(), last.dataOffset + last.compressedSize + 1) << c.name;
    }
}

// A member we cannot decode is no damage and must not be reported as one; a header that
// claims gigabytes is damage at every level; times that 32 bits cannot hold are clamped to
// the nearest they can, never wrapped round to the far end.
TEST(LzhHeaders, undecodableMethodsHugeHeadersAndTimesGetTruthfulResults) {
    TempDir dir;
    LzhEntry level3{"a.txt", "alpha"};
    level3.level = 3;
    LzhEntry level3HeaderOf2GiB = level3;
    level3HeaderOf2GiB.headerSize = 0x80000000u;
    LzhEntry level3DataOf2GiB = level3;
    level3DataOf2GiB.compressedSize = 0x80000000u;
    LzhEntry level2DataOf2GiB{"a.txt", "alpha"};
    level2DataOf2GiB.compressedSize = 0x80000000u;
    const struct {
        const char* name;
        std::string bytes;
        int code;
    } cases[] = {
        {"PMarc -pm2-", lzhArchive({{"a.txt", "alpha"}, {"p.bin", "pmarc", "pm2"}}),
         ArchiverUnsupportedMethod},
        {"unknown -lh9-", lzhArchive({{"n.bin", "future", "lh9"}}), ArchiverUnsupportedMethod},
        {"level-3 header of 2 GiB", lzhArchive({level3HeaderOf2GiB}), ArchiverBrokenArchive},
        {"level-3 data of 2 GiB", lzhArchive({level3DataOf2GiB}), ArchiverBrokenArchive},
        {"level-2 data of 2 GiB", lzhArchive({level2DataOf2GiB}), ArchiverBrokenArchive},
    };
    for (const auto& c : cases) {
        writeFile(dir / "case.lzh", c.bytes);
        std::filesystem::remove_all(dir / "out");
        EXPECT_EQ(Unlha(nullptr, expandCommand(dir / "case.lzh", dir / "out"), nullptr, 0), c.code)
            << c.name;
        EXPECT_FALSE(exists(dir / "out")) << c.name;
        const ArchiveCheck check = CheckArchive(dir / "case.lzh");
        EXPECT_EQ(check.code, c.code) << c.name << ": " << check.detail;
        if (c.code == ArchiverUnsupportedMethod) {
            EXPECT_EQ(check.damage, ArchiveDamage::UnsupportedMethod) << c.name;
        }
    }

    // Nor can a store keep such a member, with no file in the folder to store instead.
    writeFile(dir / "keep.lzh", lzhArchive({{"a.txt", "alpha"}, {"gone.bin", "pmarc", "pm2"}}));
    writeFile(dir / "folder/a.txt", "alpha");
    const std::string kept = readFile(dir / "keep.lzh");
    EXPECT_EQ(Unlha(nullptr, storeCommand(dir / "keep.lzh", dir / "folder"), nullptr, 0),
              ArchiverUnsupportedMethod);
    EXPECT_EQ(readFile(dir / "keep.lzh"), kept);

    // 1969 and 2128: the store clamps them to 1970 and 2106.
    writeFile(dir / "times/early.txt", "e");
    writeFile(dir / "times/late.txt", "l");
    setMtime(dir / "times/early.txt", -1000000);
    setMtime(dir / "times/late.txt", 5000000000);
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "times.lzh", dir / "times"), nullptr, 0), ArchiverOk);
    for (const auto& m : archiver::readArchiveIndex(dir / "times.lzh").members)
        EXPECT_EQ(m.mtime, m.path == "early.txt" ? 0 : 0xFFFFFFFFll) << m.path;
    ASSERT_EQ(Unlha(nullptr, expandCommand(dir / "times.lzh", dir / "times-out"), nullptr, 0),
              ArchiverOk);
    const Tree out = readTree(dir / "times-out");
    EXPECT_EQ(out.at("early.txt").mtime, 0);
    EXPECT_EQ(out.at("late.txt").mtime, 0xFFFFFFFFll);
}

// Windows archivers keep the real names in the UTF-16 headers and placeholders in the plain
// ones. The expansion takes the real names, and a store writes them as our writer writes any
// name: CP932 where it holds them, else UTF-8.
TEST(LzhHeaders, utf16NamesWinOverPlaceholdersAndAreStoredBackAsOurWriterStoresNames) {
    TempDir dir;
    LzhEntry japanese{"___/_____.txt", "nihongo"};
    japanese.extensions = extension(0x44, utf16(u"日本語.txt")) +
                          extension(0x45, utf16(u"フォルダ") + std::string("\xFF\xFF", 2));
    LzhEntry korean{"__.txt", "hangul"};
    korean.extensions = extension(0x44, utf16(u"한국어.txt"));
    LzhEntry onlyFolder{"___/plain.txt", "plain"};
    onlyFolder.extensions = extension(0x45, utf16(u"Ä/ö/"));
    writeFile(dir / "a.lzh", lzhArchive({japanese, korean, onlyFolder}));

    ASSERT_EQ(Unlha(nullptr, expandCommand(dir / "a.lzh", dir / "out"), nullptr, 0), ArchiverOk)
        << CheckArchive(dir / "a.lzh").detail;
    EXPECT_EQ(readFile(dir / "out/フォルダ/日本語.txt"), "nihongo");
    EXPECT_EQ(readFile(dir / "out/한국어.txt"), "hangul");
    EXPECT_EQ(readFile(dir / "out/Ä/ö/plain.txt"), "plain");
    EXPECT_FALSE(exists(dir / "out/___"));
    EXPECT_TRUE(oracleExtracts(dir, "bsdtar -xf ../a.lzh", "フォルダ/日本語.txt", "nihongo"));

    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "a.lzh", dir / "out"), nullptr, 0), ArchiverOk);
    const auto index = archiver::readArchiveIndex(dir / "a.lzh");
    ASSERT_TRUE(index.ok) << index.error;
    std::map<std::string, std::optional<std::uint32_t>> pages;
    for (const auto& m : index.members) {
        pages[m.path] = m.codePage;
        EXPECT_EQ(m.rawHeader.find("_.txt"), std::string::npos) << m.path;
    }
    ASSERT_TRUE(pages.count("フォルダ/日本語.txt"));
    EXPECT_EQ(pages["フォルダ/日本語.txt"], 932u);
    ASSERT_TRUE(pages.count("한국어.txt"));
    EXPECT_EQ(pages["한국어.txt"], 65001u);
    EXPECT_TRUE(pages.count("Ä/ö/plain.txt"));

    // What libarchive refuses, our reader refuses too, with the header named as the fault.
    const struct {
        const char* name;
        std::string header;
    } broken[] = {
        {"a lone surrogate", extension(0x44, std::string("\x00\xD8", 2))},
        {"an odd length", extension(0x44, std::string("a\0b", 3))},
        {"a folder without its closing separator", extension(0x45, utf16(u"Ä\uFFFFö"))},
    };
    for (const auto& b : broken) {
        LzhEntry e{"kept.txt", "kept"};
        e.extensions = b.header;
        writeFile(dir / "broken.lzh", lzhArchive({e}));
        EXPECT_EQ(CheckArchive(dir / "broken.lzh").damage, ArchiveDamage::HeaderDamaged) << b.name;
        EXPECT_EQ(Unlha(nullptr, expandCommand(dir / "broken.lzh", dir / "b"), nullptr, 0),
                  ArchiverBrokenArchive)
            << b.name;
        EXPECT_NE(run("bsdtar -tf " + quote(dir / "broken.lzh") + " >/dev/null 2>&1"), 0) << b.name;
    }
}

// OS/2 LHA wrote level-3 headers. They expand as lhasa and bsdtar expand them, and a store
// writes the archive back with our own level-2 headers around the same data.
TEST(LzhHeaders, levelThreeArchivesExpandAndAreStoredBackAsLevelTwo) {
    TempDir dir;
    LzhEntry file{"docs/read.me", "level three"};
    file.level = 3;
    file.mode = 0100644;
    file.extensions = extension(0x54, std::string("\x00\xF1\x53\x65", 4), 3);
    LzhEntry folder{"docs/", ""};
    folder.level = 3;
    folder.method = "lhd";
    writeFile(dir / "a.lzh", lzhArchive({folder, file}));
    ASSERT_TRUE(archiver::readArchiveIndex(dir / "a.lzh").ok)
        << archiver::readArchiveIndex(dir / "a.lzh").error;
    for (const char* oracle : {"lhasa -xq ../a.lzh", "bsdtar -xf ../a.lzh"})
        EXPECT_TRUE(oracleExtracts(dir, oracle, "docs/read.me", "level three")) << oracle;

    ASSERT_EQ(Unlha(nullptr, expandCommand(dir / "a.lzh", dir / "out"), nullptr, 0), ArchiverOk);
    EXPECT_EQ(readFile(dir / "out/docs/read.me"), "level three");
    EXPECT_EQ(CheckArchive(dir / "a.lzh").code, ArchiverOk);
    EXPECT_EQ(ReadArchiveSizes(dir / "a.lzh").members, 2u);

    writeFile(dir / "out/docs/new.txt", "added");
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "a.lzh", dir / "out"), nullptr, 0), ArchiverOk);
    const auto index = archiver::readArchiveIndex(dir / "a.lzh");
    ASSERT_TRUE(index.ok) << index.error;
    EXPECT_EQ(index.members.size(), 3u);
    for (const auto& m : index.members)
        EXPECT_EQ(m.level, 2) << m.path;
    std::filesystem::remove_all(dir / "again");
    ASSERT_EQ(Unlha(nullptr, expandCommand(dir / "a.lzh", dir / "again"), nullptr, 0), ArchiverOk);
    EXPECT_EQ(readFile(dir / "again/docs/read.me"), "level three");
    EXPECT_EQ(readFile(dir / "again/docs/new.txt"), "added");
}

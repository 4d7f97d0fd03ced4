// A store copies unchanged members without decoding them, so our own header reader is all
// the update path goes on: each of its consistency checks gets a damaged archive here. The
// index must refuse it, an expansion must fail as broken, and a store over it must leave it
// as it was rather than write the damage back under fresh, valid headers.

#include "archivertestsupport.h"
#include "rawarchive.h"

#include "archiver/archiver.h"
#include "archiver/lzh/lzhheaderreader.h"
#include "archiver/lzh/lzhheaderwriter.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <unistd.h>

using namespace vadok;
using namespace vadok::test;

namespace {

// Level 0 and 1 headers carry a byte sum instead of a CRC; a patched field needs a new one.
std::string withByteSum(std::string bytes) {
    const std::size_t size = static_cast<unsigned char>(bytes[0]) + 2u;
    unsigned sum = 0;
    for (std::size_t i = 2; i < size; ++i)
        sum += static_cast<unsigned char>(bytes[i]);
    bytes[1] = static_cast<char>(sum & 0xFF);
    return bytes;
}

std::string patched(std::string bytes, std::size_t at, const std::string& with) {
    bytes.replace(at, with.size(), with);
    return bytes;
}

} // namespace

TEST(HeaderReader, damagedOrCutArchivesAreRefusedAndNeverRewritten) {
    TempDir dir;
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        writeFile(dir / (std::string("src/") + name), std::string(300, name[0]));
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "good.lzh", dir / "src"), nullptr, 0), ArchiverOk);
    const std::string good = readFile(dir / "good.lzh");
    const auto members = archiver::readArchiveIndex(dir / "good.lzh").members;
    ASSERT_EQ(members.size(), 3u);
    const std::size_t second = members[1].headerOffset;
    const std::size_t third = members[2].headerOffset;

    LzhEntry level0{"name.txt", "abc"};
    level0.level = 0;
    LzhEntry level1 = level0;
    level1.level = 1;
    level1.extensions = extension(0x40, std::string("\x20\x00", 2));
    // 24 bytes of base header, 5 of header CRC, 3 + 222 of name and 2 closing: 256 bytes,
    // whose size field starts with a zero byte.
    LzhEntry header256{std::string(222, 'n'), "data"};
    header256.padZeroLowByte = false;
    LzhEntry storedSizesDiffer{"x.bin", "abc"};
    storedSizesDiffer.originalSize = 5;
    LzhEntry linkWithoutTarget{"link", ""};
    linkWithoutTarget.mode = 0120777;

    std::string flippedName = good;
    flippedName[good.find("a.txt")] = 'b';
    std::string zeroedHeader = good;
    std::fill(zeroedHeader.begin() + static_cast<long>(second),
              zeroedHeader.begin() + static_cast<long>(members[1].dataOffset), '\0');

    // A size field pointing past the end of the file, where the extended headers end well
    // before it: a damaged header, not a cut archive.
    std::string sizeRunningPastTheEnd = good;
    sizeRunningPastTheEnd[second + 1] = '\x70';
    using D = ArchiveDamage;
    const struct {
        const char* name;
        std::string bytes;
        ArchiveDamage damage;
    } cases[] = {
        {"cut at the second member's header", good.substr(0, second), D::CutShort},
        {"cut at the third member's header", good.substr(0, third), D::CutShort},
        {"cut inside the third member's header", good.substr(0, third + 30), D::CutShort},
        {"data running exactly to the end without the end mark", good.substr(0, good.size() - 1),
         D::CutShort},
        {"next header zeroed into an early end", zeroedHeader, D::HeaderDamaged},
        {"member name byte flipped (level-2 header CRC)", flippedName, D::HeaderDamaged},
        {"header size running past the end of the file", sizeRunningPastTheEnd, D::HeaderDamaged},
        {"level-0 name longer than its header",
         withByteSum(patched(lzhArchive({level0}), 21, "\xF0")), D::HeaderDamaged},
        {"level-1 name longer than its header",
         withByteSum(patched(lzhArchive({level1}), 21, "\xF0")), D::HeaderDamaged},
        {"level-1 extended headers larger than the member",
         withByteSum(patched(lzhArchive({level1}), 7, std::string("\x01\x00\x00\x00", 4))),
         D::HeaderDamaged},
        {"a 256-byte header taken for the end mark", lzhArchive({header256, {"b.txt", "b"}}),
         D::HeaderDamaged},
        {"stored member whose two sizes differ", lzhArchive({storedSizesDiffer}), D::HeaderDamaged},
        {"file named by separators alone", lzhArchive({{"/", "x"}}), D::HeaderDamaged},
        {"link without a target", lzhArchive({linkWithoutTarget}), D::HeaderDamaged},
        {"text, not an archive", std::string(200, 'Z'), D::NotAnArchive},
    };
    for (const auto& c : cases) {
        const std::string archive = dir / "case.lzh";
        writeFile(archive, c.bytes);
        const auto index = archiver::readArchiveIndex(archive);
        EXPECT_FALSE(index.ok) << c.name;
        EXPECT_EQ(index.damage, c.damage) << c.name << ": " << index.error;
        // The sizes panel's reading spares the names, yet refuses what the index refuses.
        EXPECT_EQ(ReadArchiveSizes(archive).code, ArchiverBrokenArchive) << c.name;
        EXPECT_EQ(Unlha(nullptr, expandCommand(archive, dir / "out"), nullptr, 0),
                  ArchiverBrokenArchive)
            << c.name;
        EXPECT_EQ(Unlha(nullptr, storeCommand(archive, dir / "src"), nullptr, 0),
                  ArchiverBrokenArchive)
            << c.name;
        EXPECT_EQ(readFile(archive), c.bytes) << c.name << ": the store rewrote it";
    }
}

TEST(HeaderReader, headersOfEveryLengthOurWriterMakesReadBackWhateverTheirSize) {
    TempDir dir;
    std::string archive;
    for (std::size_t length = 200; length < 300; ++length) {
        archiver::LzhMember m;
        // In parts of 50 bytes: the file system takes no longer names.
        m.path = std::to_string(length);
        while (m.path.size() < length)
            m.path += m.path.size() % 51 == 50 && m.path.size() + 1 < length ? '/' : 'n';
        const auto header = archiver::encodeLevel2Header(m);
        // A header starting with 0 would read as the end of the archive.
        ASSERT_NE(header[0], 0) << length;
        archiver::LzhMember back;
        const auto r = archiver::parseLzhHeader(header.data(), header.size(), back);
        ASSERT_EQ(r.status, archiver::HeaderStatus::Ok) << length;
        EXPECT_EQ(r.headerLength, header.size()) << length;
        EXPECT_EQ(back.path, m.path) << length;
        archive.append(header.begin(), header.end());
    }
    writeFile(dir / "a.lzh", archive + '\0');
    ASSERT_EQ(Unlha(nullptr, expandCommand(dir / "a.lzh", dir / "out"), nullptr, 0), ArchiverOk);
    std::size_t files = 0;
    for (const auto& [path, node] : readTree(dir / "out"))
        files += node.kind == 'f';
    EXPECT_EQ(files, 100u);
    if (haveProgram("bsdtar")) {
        EXPECT_EQ(run("bsdtar -tf " + quote(dir / "a.lzh") + " | wc -l | grep -qx 100"), 0);
    }
}

// A re-store copies an unchanged member under its old header when the header it would write
// comes out the same: asking must give what making the header and comparing gives, for each
// pair of our own headers and for the headers of other programs.
TEST(HeaderReader, oldHeaderIsKeptExactlyWhenOurWriterWouldWriteItByteForByte) {
    archiver::LzhMember base;
    base.path = "bin/tool";
    base.setMethod("lh7");
    base.compressedSize = 100;
    base.originalSize = 300;
    base.crc = 0x1234;
    base.mtime = 1700000000;
    base.unixMode = 0100755;
    base.storedCrc = 0xDEADBEEF;
    const auto with = [&](const std::function<void(archiver::LzhMember&)>& change) {
        archiver::LzhMember m = base;
        change(m);
        return m;
    };
    const std::vector<archiver::LzhMember> members = {
        base,
        with([](auto& m) { m.unixMode = 0100644; }),
        with([](auto& m) { m.unixMode.reset(); }),
        with([](auto& m) { m.mtime += 1; }),
        with([](auto& m) { m.crc ^= 1; }),
        with([](auto& m) { m.compressedSize += 256; }),
        with([](auto& m) { m.storedCrc.reset(); }),
        with([](auto& m) { m.storedCrc = 0xDEADBEEE; }),
        with([](auto& m) { m.path = "bin/toom"; }),
        with([](auto& m) { m.path = "lib/tool"; }),
        with([](auto& m) { m.path = "bin/\xE3\x83\x84\xE3\x83\xBC\xE3\x83\xAB"; }),
        with([](auto& m) {
            m.kind = archiver::MemberKind::Directory;
            m.setMethod("lhd");
            m.compressedSize = m.originalSize = 0;
        }),
        with([](auto& m) {
            m.kind = archiver::MemberKind::Symlink;
            m.setMethod("lhd");
            m.linkTarget = "tool2";
            m.unixMode = 0120777;
        }),
    };
    for (const auto& existing : members) {
        const auto bytes = archiver::encodeLevel2Header(existing);
        const std::string header(bytes.begin(), bytes.end());
        for (const auto& m : members)
            EXPECT_EQ(archiver::level2HeaderIs(m, header), archiver::encodeLevel2Header(m) == bytes)
                << m.path << " against " << existing.path;
        EXPECT_TRUE(archiver::level2HeaderIs(existing, header)) << existing.path;
    }
    std::size_t others = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(VADOK_LHASA_FIXTURES)) {
        if (entry.path().extension() != ".lzh")
            continue;
        for (const auto& m : archiver::readArchiveIndex(entry.path().string()).members) {
            const auto ours = archiver::encodeLevel2Header(m);
            EXPECT_EQ(archiver::level2HeaderIs(m, m.rawHeader),
                      std::string(ours.begin(), ours.end()) == m.rawHeader)
                << entry.path() << ": " << m.path;
            ++others;
        }
    }
    EXPECT_GT(others, 20u);
}

// A store reads its old archive's data along with the headers, through a window of 128 KiB;
// members larger than it, and headers and data straddling its edge, must come out as in the
// file, and only the member whose data is damaged may be taken for damaged.
TEST(HeaderReader, checkedIndexTellsEachMembersDataAcrossTheReadWindow) {
    TempDir dir;
    writeFile(dir / "src/a.bin", randomData(70000, 1));
    writeFile(dir / "src/big.bin", randomData(300000, 2));
    for (int i = 0; i < 40; ++i)
        writeFile(dir / ("src/small" + std::to_string(i) + ".txt"), randomData(3000, 3 + i, 20));
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "a.lzh", dir / "src"), nullptr, 0), ArchiverOk);
    const std::string bytes = readFile(dir / "a.lzh");
    auto checked = [&](const std::string& archive) {
        const int fd = ::open(archive.c_str(), O_RDONLY | O_CLOEXEC);
        auto index = archiver::readArchiveIndexChecked(fd);
        ::close(fd);
        return index;
    };

    const auto index = checked(dir / "a.lzh");
    ASSERT_TRUE(index.ok) << index.error;
    ASSERT_EQ(index.members.size(), 42u);
    // Kept whole: the members' raw headers lie in the index's store.
    const auto plainIndex = archiver::readArchiveIndex(dir / "a.lzh");
    const auto& plain = plainIndex.members;
    std::size_t big = 0;
    for (std::size_t i = 0; i < index.members.size(); ++i) {
        const auto& m = index.members[i];
        EXPECT_TRUE(m.storedCrc && m.storedDataSound) << m.path;
        EXPECT_EQ(m.rawHeader, bytes.substr(m.headerOffset, m.dataOffset - m.headerOffset))
            << m.path;
        EXPECT_EQ(m.rawHeader, plain[i].rawHeader) << m.path;
        if (m.path == "big.bin")
            big = i;
    }
    ASSERT_GT(index.members[big].compressedSize, 0x20000u);
    // A copy keeps the headers alive once the index it came from is gone.
    const auto copied = [&] {
        const auto original = archiver::readArchiveIndex(dir / "a.lzh");
        return archiver::ArchiveIndex(original);
    }();
    for (std::size_t i = 0; i < copied.members.size(); ++i)
        EXPECT_EQ(copied.members[i].rawHeader, index.members[i].rawHeader) << copied.members[i].path;

    const auto& small = index.members[big == 0 ? 1 : 0];
    const struct {
        const archiver::LzhMember& member;
        std::uint64_t at;
    } damages[] = {{index.members[big], 0},
                   {index.members[big], index.members[big].compressedSize - 1},
                   {small, small.compressedSize / 2}};
    for (const auto& d : damages) {
        std::string damaged = bytes;
        damaged[d.member.dataOffset + d.at] ^= 0x01;
        writeFile(dir / "damaged.lzh", damaged);
        const auto after = checked(dir / "damaged.lzh");
        ASSERT_TRUE(after.ok) << after.error;
        for (const auto& m : after.members)
            EXPECT_EQ(m.storedDataSound, m.path != d.member.path)
                << m.path << " with " << d.member.path << " damaged at " << d.at;
    }
}

// How ZIP archives from other tools are read: what the central directory says is what is
// expanded, names in any code page come out readable, and encrypted, empty and over-long
// cases give their own answers. Archives are built here from raw bytes (rawZip, then taken
// apart and put together again) or made by zip, bsdtar and Python's zipfile.

#include "archivertestsupport.h"
#include "rawarchive.h"

#include "archiver/archiver.h"
#include "archiver/zip/zipdirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <zlib.h>

using namespace vadok;
using namespace vadok::test;

namespace {

std::uint32_t get32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = v << 8 | static_cast<unsigned char>(s[at + static_cast<std::size_t>(k)]);
    return v;
}
std::uint16_t get16(const std::string& s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      static_cast<unsigned char>(s[at + 1]) << 8);
}
void put32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        s[at + static_cast<std::size_t>(k)] = static_cast<char>(v >> (8 * k));
}
void put16(std::string& s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v);
    s[at + 1] = static_cast<char>(v >> 8);
}

// A rawZip archive taken apart: the local headers with their data, and the directory entries.
struct ZipParts {
    std::string local;
    std::vector<std::string> entries;

    explicit ZipParts(const std::string& zip) {
        const std::size_t end = zip.size() - 22;
        const std::size_t offset = get32(zip, end + 16);
        local = zip.substr(0, offset);
        for (std::size_t at = offset; at < end;) {
            const std::size_t n = 46 + get16(zip, at + 28) + get16(zip, at + 30) + get16(zip, at + 32);
            entries.push_back(zip.substr(at, n));
            at += n;
        }
    }
    std::size_t localOffset(std::size_t entry) const { return get32(entries[entry], 42); }
    // Sets flag bits of member k in its local header and its directory entry.
    void setFlags(std::size_t k, std::uint16_t set, std::uint16_t clear = 0) {
        const std::size_t at = localOffset(k);
        put16(local, at + 6, static_cast<std::uint16_t>((get16(local, at + 6) | set) & ~clear));
        put16(entries[k], 8, static_cast<std::uint16_t>((get16(entries[k], 8) | set) & ~clear));
    }
    // Adds an extra field to member k's directory entry.
    void addExtra(std::size_t k, std::uint16_t id, const std::string& data) {
        std::string& e = entries[k];
        std::string field(4, '\0');
        put16(field, 0, id);
        put16(field, 2, static_cast<std::uint16_t>(data.size()));
        e.insert(46 + get16(e, 28) + get16(e, 30), field + data);
        put16(e, 30, static_cast<std::uint16_t>(get16(e, 30) + field.size() + data.size()));
    }
    std::string zip() const {
        std::string out = local, directory;
        for (const auto& e : entries)
            directory += e;
        out += directory;
        std::string end(22, '\0');
        put32(end, 0, 0x06054b50);
        put16(end, 8, static_cast<std::uint16_t>(entries.size()));
        put16(end, 10, static_cast<std::uint16_t>(entries.size()));
        put32(end, 12, static_cast<std::uint32_t>(directory.size()));
        put32(end, 16, static_cast<std::uint32_t>(local.size()));
        return out + end;
    }
};

int expandZip(const std::string& archive, const std::string& dest) {
    return UnZip(nullptr, "-xs -n \"" + archive + "\" \"" + dest + "/\"", nullptr, 0);
}
int expandLzh(const std::string& archive, const std::string& dest) {
    return Unlha(nullptr, "x -d1 -y1 -n \"" + archive + "\" \"" + dest + "/\" *", nullptr, 0);
}

std::vector<std::string> namesBelow(const std::string& root) {
    std::vector<std::string> names;
    for (const auto& [path, node] : readTree(root, false))
        names.push_back(path);
    return names;
}

} // namespace

// libarchive names each member after its local header and lists one member for entries
// that share a local header; either way a listed member would go missing with success.
TEST(ZipRules, localHeadersThatDisagreeWithTheCentralDirectoryMakeTheArchiveDamaged) {
    auto renamedLocal = [] {
        ZipParts p(rawZip({{"ok.txt", "fine", ""}, {"b.txt", "data", ""}}));
        p.local.replace(p.localOffset(1) + 30, 5, "a.txt");
        return p.zip();
    };
    auto shared = [](bool sameName) {
        ZipParts p(rawZip({{"a.txt", "data", ""}}));
        const std::string entry = p.entries[0];
        p.entries.clear();
        for (int k = 0; k < 50; ++k) {
            std::string e = entry;
            if (!sameName)
                e.replace(46, 5, "n" + std::to_string(10 + k) + ".t");
            p.entries.push_back(e);
        }
        return p.zip();
    };
    // b.txt's local header stands inside a.txt's data, where an extractor of either would
    // write the other's bytes.
    auto nested = [] {
        const std::string inner = ZipParts(rawZip({{"b.txt", "evil", ""}})).local;
        ZipParts p(rawZip({{"a.txt", inner, ""}}));
        std::string e = ZipParts(rawZip({{"b.txt", "evil", ""}})).entries[0];
        put32(e, 42, 30 + 5);
        p.entries.push_back(e);
        return p.zip();
    };
    auto missingLocal = [] {
        ZipParts p(rawZip({{"ok.txt", "fine", ""}, {"b.txt", "data", ""}}));
        put32(p.entries[1], 42, 3);
        return p.zip();
    };
    auto otherMethod = [] {
        ZipParts p(rawZip({{"ok.txt", "fine", ""}}));
        put16(p.local, 8, 8);
        return p.zip();
    };
    const struct {
        const char* name;
        std::string zip;
    } cases[] = {
        {"local header names another member", renamedLocal()},
        {"50 entries share one local header", shared(true)},
        {"50 differently named entries share one local header", shared(false)},
        {"a member's local header inside another's data", nested()},
        {"an entry pointing at no local header", missingLocal()},
        {"local header giving another method", otherMethod()},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir / "a.zip", c.zip);
        EXPECT_EQ(expandZip(dir / "a.zip", dir / "out"), ArchiverBrokenArchive) << c.name;
        EXPECT_FALSE(std::filesystem::exists(dir / "out")) << c.name;
    }
}

// Sound archives of other tools, with data descriptors (bsdtar), links and folders (zip -y),
// expand as bsdtar expands them.
TEST(ZipRules, archivesOfOtherToolsExpandAsBsdtarExpandsThem) {
    if (!haveProgram("bsdtar") || !haveProgram("zip") || !haveProgram("python3"))
        GTEST_SKIP() << "bsdtar, zip or python3 missing";
    TempDir dir;
    const std::string src = dir / "src";
    writeFile(src + "/a.txt", "alpha\n");
    writeFile(src + "/sub/b.bin", randomData(70000, 3));
    makeDirs(src + "/empty");
    makeSymlink("../a.txt", src + "/sub/link");
    const std::string py =
        "import zipfile,os,sys\n"
        "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED,allowZip64=True)\n"
        "os.chdir(sys.argv[2])\n"
        "for d,ds,fs in os.walk('.'):\n"
        "  for f in fs:\n"
        "    p=os.path.join(d,f)[2:]\n"
        "    if not os.path.islink(p): z.write(p)\n"
        "z.close()\n";
    writeFile(dir / "make.py", py);
    const struct {
        const char* tool;
        std::string command;
    } makers[] = {
        {"zip", "cd " + quote(src) + " && zip -qry " + quote(dir / "zip.zip") + " ."},
        {"bsdtar", "cd " + quote(src) + " && bsdtar --format zip -cf " + quote(dir / "bsdtar.zip") + " ."},
        {"python", "python3 " + quote(dir / "make.py") + " " + quote(dir / "python.zip") + " " + quote(src)},
    };
    for (const auto& m : makers) {
        ASSERT_EQ(run(m.command), 0) << m.tool;
        const std::string archive = dir / (std::string(m.tool) + ".zip");
        const std::string oracle = dir / (std::string(m.tool) + "-bsdtar");
        makeDirs(oracle);
        ASSERT_EQ(run("bsdtar -xf " + quote(archive) + " -C " + quote(oracle)), 0) << m.tool;
        const std::string out = dir / (std::string(m.tool) + "-out");
        ASSERT_EQ(expandZip(archive, out), ArchiverOk) << m.tool;
        EXPECT_EQ(readTree(out, false), readTree(oracle, false)) << m.tool;
    }
}

// The layouts of large and self-extracting archives, and a directory listing members in
// another order than they lie (each name must still get its own data), made from raw bytes.
TEST(ZipRules, zip64RecordsAStubAndADirectoryInOtherOrderAreReadAsBsdtarReadsThem) {
    if (!haveProgram("bsdtar"))
        GTEST_SKIP() << "bsdtar missing";
    const std::string plain = rawZip({{"a.txt", "alpha", ""}, {"sub/b.txt", "beta", ""}});
    auto wideEntries = [&] {
        ZipParts p(plain);
        for (auto& e : p.entries) {
            std::string extra(28, '\0');
            put16(extra, 0, 1);
            put16(extra, 2, 24);
            put32(extra, 4, get32(e, 24));
            put32(extra, 12, get32(e, 20));
            put32(extra, 20, get32(e, 42));
            for (const std::size_t at : {20u, 24u, 42u})
                put32(e, at, 0xFFFFFFFFu);
            put16(e, 30, 28);
            e.insert(46 + get16(e, 28), extra);
        }
        return p.zip();
    };
    // With extensible data after the record's fixed part, only the locator's offset finds it.
    auto zip64End = [&](std::size_t extensible) {
        const std::string zip = wideEntries();
        const std::size_t end = zip.size() - 22;
        std::string record(56 + extensible, '\0'), locator(20, '\0');
        put32(record, 0, 0x06064b50);
        put32(record, 4, static_cast<std::uint32_t>(44 + extensible));
        put16(record, 12, 45);
        put32(record, 24, 2);
        put32(record, 32, 2);
        put32(record, 40, get32(zip, end + 12));
        put32(record, 48, get32(zip, end + 16));
        put32(locator, 0, 0x07064b50);
        put32(locator, 8, static_cast<std::uint32_t>(end));
        put32(locator, 16, 1);
        std::string tail = zip.substr(end);
        put16(tail, 8, 0xFFFF);
        put16(tail, 10, 0xFFFF);
        put32(tail, 12, 0xFFFFFFFFu);
        put32(tail, 16, 0xFFFFFFFFu);
        return zip.substr(0, end) + record + locator + tail;
    };
    const struct {
        const char* name;
        std::string zip;
    } cases[] = {
        {"zip64 sizes and offsets in the directory", wideEntries()},
        {"zip64 end record", zip64End(0)},
        {"zip64 end record with extensible data", zip64End(12)},
        {"stub before the archive", "MZ" + std::string(300, 'x') + plain},
        {"directory in another order than the members", [&] {
             ZipParts p(rawZip({{"a.txt", "alpha", ""}, {"b.txt", "bravo", ""},
                                {"c/d.txt", "charlie", ""}}));
             std::reverse(p.entries.begin(), p.entries.end());
             return p.zip();
         }()},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir / "a.zip", c.zip);
        makeDirs(dir / "oracle");
        ASSERT_EQ(run("bsdtar -xf " + quote(dir / "a.zip") + " -C " + quote(dir / "oracle")), 0)
            << c.name;
        ASSERT_EQ(expandZip(dir / "a.zip", dir / "out"), ArchiverOk) << c.name;
        EXPECT_EQ(readTree(dir / "out", false), readTree(dir / "oracle", false)) << c.name;
    }
}

TEST(ZipRules, emptyArchivesSucceedWithNothingAndEncryptedOnesWriteNothing) {
    TempDir dir;
    auto encrypted = [] {
        ZipParts p(rawZip({{"ok.txt", "fine", ""}, {"secret.txt", "data", ""}}));
        p.setFlags(1, 0x0001);
        return p.zip();
    };
    ASSERT_EQ(run("python3 -c \"import zipfile; zipfile.ZipFile('" + dir / "python-empty.zip" +
                  "', 'w').close()\""),
              0);
    const struct {
        const char* name;
        std::string zip; // empty: made by a tool beforehand
        int code;
    } cases[] = {
        {"empty", rawZip({}), ArchiverOk},
        {"python-empty", "", ArchiverOk},
        {"encrypted", encrypted(), ArchiverEncrypted},
        {"zip-encrypted", "", ArchiverEncrypted},
    };
    if (haveProgram("zip")) {
        ASSERT_EQ(run("cd " + quote(dir.path()) + " && echo secret > s.txt && zip -q -P pw " +
                      "zip-encrypted.zip s.txt"),
                  0);
    }
    for (const auto& c : cases) {
        const std::string archive = dir / (std::string(c.name) + ".zip");
        if (!c.zip.empty())
            writeFile(archive, c.zip);
        else if (!std::filesystem::exists(archive))
            continue;
        const std::string out = dir / (std::string(c.name) + "-out");
        EXPECT_EQ(expandZip(archive, out), c.code) << c.name;
        if (c.code == ArchiverOk)
            EXPECT_TRUE(std::filesystem::is_directory(out) && std::filesystem::is_empty(out))
                << c.name;
        else
            EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
    }
}

// Names without the UTF-8 flag are read per member: UTF-8 when they are, else CP932, else
// CP437. Only names that really climb out are refused.
TEST(ZipRules, namesInOtherCodePagesAreDecodedPerMember) {
    const struct {
        const char* name;
        std::vector<std::pair<std::string, bool>> stored; // bytes, UTF-8 flag
        std::vector<std::string> written;
    } cases[] = {
        {"CP437 from Windows", {{"caf\x82.txt", false}, {"\x8e.txt", false}},
         {"café.txt", "Ä.txt"}},
        {"Latin-1 from Unix", {{"na\xefve.txt", false}, {"dir\xe9/x.txt", false}},
         {"dir\xce\x98", "dir\xce\x98/x.txt", "na\xe2\x88\xa9ve.txt"}},
        {"mixed UTF-8 and CP932", {{"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt", true},
                                   {"\x93\xfa\x96\x7b/\x83\x65\x83\x58\x83\x67.txt", false}},
         {"日本", "日本/テスト.txt", "日本語.txt"}},
        {"UTF-8 without the flag", {{"\xc3\xa9t\xc3\xa9.txt", false}, {"plain.txt", false}},
         {"plain.txt", "été.txt"}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::vector<RawMember> members;
        for (const auto& [bytes, flag] : c.stored)
            members.push_back({bytes, "data", ""});
        ZipParts p(rawZip(members));
        for (std::size_t k = 0; k < c.stored.size(); ++k)
            if (!c.stored[k].second)
                p.setFlags(k, 0, 0x0800);
        writeFile(dir / "a.zip", p.zip());
        ASSERT_EQ(expandZip(dir / "a.zip", dir / "out"), ArchiverOk) << c.name;
        EXPECT_EQ(namesBelow(dir / "out"), c.written) << c.name;
    }
    // A Unicode path field gives the real name beside a CP437 one, unless it is stale.
    {
        TempDir dir;
        ZipParts p(rawZip({{"\x8e.txt", "data", ""}, {"\x8e.bin", "data", ""}}));
        auto field = [](const std::string& forName, const std::string& utf8) {
            std::string f(5, '\0');
            f[0] = 1;
            put32(f, 1, static_cast<std::uint32_t>(::crc32(
                            0, reinterpret_cast<const Bytef*>(forName.data()),
                            static_cast<uInt>(forName.size()))));
            return f + utf8;
        };
        p.addExtra(0, 0x7075, field("\x8e.txt", "Ärger.txt"));
        p.addExtra(1, 0x7075, field("old.bin", "stale.bin"));
        p.setFlags(0, 0, 0x0800);
        p.setFlags(1, 0, 0x0800);
        writeFile(dir / "a.zip", p.zip());
        ASSERT_EQ(expandZip(dir / "a.zip", dir / "out"), ArchiverOk);
        EXPECT_EQ(namesBelow(dir / "out"), (std::vector<std::string>{"Ä.bin", "Ärger.txt"}));
    }
    // Decoded or not, a name that climbs out stays refused.
    TempDir dir;
    ZipParts p(rawZip({{"caf\x82.txt", "data", ""}, {"../caf\x82.txt", "evil", ""}}));
    p.setFlags(0, 0, 0x0800);
    p.setFlags(1, 0, 0x0800);
    writeFile(dir / "a.zip", p.zip());
    EXPECT_EQ(expandZip(dir / "a.zip", dir / "out"), ArchiverUnsafeEntry);
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));
}

// A path no file system call takes could be written by none and never stored again; LZH
// created every folder on the way before it failed.
TEST(MemberPathRules, pathsTooLongToNameAreRefusedBeforeAnythingIsCreated) {
    std::string longPath;
    for (int k = 0; k < 17; ++k)
        longPath += std::string(240, static_cast<char>('a' + k)) + "/";
    longPath += "file.txt";
    ASSERT_GE(longPath.size(), 4096u);
    const std::vector<RawMember> members = {{"ok.txt", "fine", ""}, {longPath, "data", ""}};
    for (const bool zip : {false, true}) {
        TempDir dir;
        const std::string archive = dir / (zip ? "a.zip" : "a.lzh");
        zip ? writeRawZip(archive, members) : writeRawLzh(archive, members);
        const int code = zip ? expandZip(archive, dir / "out") : expandLzh(archive, dir / "out");
        EXPECT_EQ(code, ArchiverUnsupported) << (zip ? "zip" : "lzh");
        EXPECT_FALSE(std::filesystem::exists(dir / "out")) << (zip ? "zip" : "lzh");
    }
}

// The reader's own answers for directories it must refuse, with the reason it gives.
TEST(ZipDirectoryReader, damagedDirectoriesSayWhy) {
    const std::string sound = rawZip({{"a.txt", "data", ""}});
    std::string cut = sound.substr(0, sound.size() - 30) + sound.substr(sound.size() - 22);
    std::string tooMany = sound;
    put16(tooMany, tooMany.size() - 12, 9);
    put16(tooMany, tooMany.size() - 14, 9);
    const struct {
        const char* name;
        std::string bytes;
        const char* why;
    } cases[] = {
        {"no end record", "PK\x03\x04 not a zip at all, just text long enough", "no end of central"},
        {"too short", "PK", "too short"},
        {"directory cut", cut, "central directory"},
        {"more entries than fit", tooMany, "too small"},
    };
    for (const auto& c : cases) {
        const archiver::ZipDirectory d = archiver::readZipDirectory(
            c.bytes.size(), [&](std::uint64_t at, std::size_t n, std::uint8_t* out) {
                if (at + n > c.bytes.size())
                    return false;
                std::memcpy(out, c.bytes.data() + at, n);
                return true;
            });
        EXPECT_FALSE(d.ok) << c.name;
        EXPECT_NE(d.error.find(c.why), std::string::npos) << c.name << ": " << d.error;
    }
}

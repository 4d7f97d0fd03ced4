// Reading an application's small texts straight out of its archive, without expanding it:
// archives of our own and of other programs give the same members, the same bytes.

#include "archivertestsupport.h"

#include "archiver/archiver.h"

#include <gtest/gtest.h>

#include <map>

using namespace vadok;
using namespace vadok::test;

namespace {

using Members = std::map<std::string, std::string>;

bool endsWithTxt(const std::string& name) {
    return name.size() >= 4 && name.compare(name.size() - 4, 4, ".txt") == 0;
}

int readTexts(const std::string& archive, bool zip, std::uint64_t limit, Members& got,
              std::string* error = nullptr) {
    return ReadArchiveMembers(
        archive, zip, limit, endsWithTxt,
        [&](const std::string& name, std::string&& bytes) {
            got[name] = std::move(bytes);
            return true;
        },
        error);
}

} // namespace

TEST(ReadArchiveMembers, wantedSmallFilesComeOutOfArchivesOfEveryMaker) {
    TempDir dir;
    const std::string readme = "read me\r\n" + randomData(20000, 5, 40);
    const std::string usage = randomData(3000, 6, 30);
    writeFile(dir / "src/readme.txt", readme);
    writeFile(dir / "src/doc/deep/usage.txt", usage);
    writeFile(dir / "src/big.txt", std::string(40000, 'b')); // over the limit below
    writeFile(dir / "src/tool.exe", randomData(40000, 7));
    writeFile(dir / "src/empty.txt", "");
    const Members expected = {{"readme.txt", readme}, {"doc/deep/usage.txt", usage}, {"empty.txt", ""}};
    const std::string files = "readme.txt doc/deep/usage.txt big.txt tool.exe empty.txt";

    const struct {
        const char* maker;
        std::string archive;
        bool zip;
        std::string command; // empty: our own store
    } cases[] = {
        {"ours", dir / "ours.lzh", false, ""},
        {"jlha level 0 -lh5-", dir / "j05.lzh", false, "jlha a0o5 " + quote(dir / "j05.lzh") + " " + files},
        {"jlha level 1 -lh6-", dir / "j16.lzh", false, "jlha a1o6 " + quote(dir / "j16.lzh") + " " + files},
        {"jlha level 2 -lh7-", dir / "j27.lzh", false, "jlha a2o7 " + quote(dir / "j27.lzh") + " " + files},
        {"bsdtar zip", dir / "b.zip", true, "bsdtar --format zip -cf " + quote(dir / "b.zip") + " " + files},
        {"python zipfile", dir / "p.zip", true,
         "python3 -c 'import zipfile,sys\nwith zipfile.ZipFile(sys.argv[1], \"w\", "
         "zipfile.ZIP_DEFLATED) as z:\n  [z.write(f) for f in sys.argv[2:]]' " +
             quote(dir / "p.zip") + " " + files},
    };
    for (const auto& c : cases) {
        if (c.command.empty())
            ASSERT_EQ(Unlha(nullptr, storeCommand(c.archive, dir / "src"), nullptr, 0), ArchiverOk);
        else
            ASSERT_EQ(run("cd " + quote(dir / "src") + " && " + c.command + " >/dev/null 2>&1"), 0)
                << c.maker;
        Members got;
        std::string error;
        EXPECT_EQ(readTexts(c.archive, c.zip, 4096 * 8, got, &error), ArchiverOk)
            << c.maker << ": " << error;
        EXPECT_EQ(got, expected) << c.maker;
    }
}

TEST(ReadArchiveMembers, namesTheProblemOfAnArchiveItCannotRead) {
    TempDir dir;
    writeFile(dir / "src/a.txt", randomData(30000, 9, 8));
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "a.lzh", dir / "src"), nullptr, 0), ArchiverOk);
    std::string bytes = readFile(dir / "a.lzh");
    bytes[bytes.size() / 2] ^= 0x40;
    writeFile(dir / "damaged.lzh", bytes);
    writeFile(dir / "cut.lzh", bytes.substr(0, 40));
    const struct {
        const char* name;
        std::string path;
        int code;
    } cases[] = {
        {"missing", dir / "none.lzh", ArchiverCannotOpen},
        {"damaged data", dir / "damaged.lzh", ArchiverBrokenArchive},
        {"cut in its first header", dir / "cut.lzh", ArchiverBrokenArchive},
    };
    for (const auto& c : cases) {
        Members got;
        EXPECT_EQ(readTexts(c.path, false, 1 << 20, got), c.code) << c.name;
        EXPECT_TRUE(got.empty()) << c.name;
    }
}

TEST(ReadArchiveMembers, aSinkReturningFalseStopsTheRead) {
    TempDir dir;
    writeFile(dir / "src/a.txt", "a");
    writeFile(dir / "src/b.txt", "b");
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "ab.lzh", dir / "src"), nullptr, 0), ArchiverOk);
    int calls = 0;
    EXPECT_EQ(ReadArchiveMembers(dir / "ab.lzh", false, 100, endsWithTxt,
                                 [&](const std::string&, std::string&&) { return ++calls < 1; }),
              ArchiverCancelled);
    EXPECT_EQ(calls, 1);
}

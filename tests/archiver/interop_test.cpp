// Archives we write must extract identically with lhasa and bsdtar; archives jlha writes
// (every method and header level) must extract identically with ours.

#include "archivertestsupport.h"

#include "archiver/archiver.h"
#include "archiver/lzh/lzhheaderreader.h"
#include "archiver/names/names.h"

#include <gtest/gtest.h>

#include <iconv.h>

using namespace vadok;
using namespace vadok::test;

namespace {

// lhasa splits CP932 names whose second byte is 0x5C, so names here avoid such characters.
void makeSampleTree(const std::string& src) {
    writeFile(src + "/program", randomData(150000, 11, 20), 0755);
    // Compressed in segments: the last 30,000 bytes before each seam repeat after it, so
    // matches reach back across; one just over a segment ends in a segment of one byte.
    std::string large = randomData(3 << 20, 14, 64);
    for (std::size_t seam = 1 << 20; seam < large.size(); seam += 1 << 20)
        large.replace(seam, 30000, large, seam - 30000, 30000);
    writeFile(src + "/lib/large.so", large);
    writeFile(src + "/lib/segment and a byte.so", randomData((1 << 20) + 1, 15, 40));
    writeFile(src + "/docs/manual.txt", std::string(20000, 'm') + randomData(5000, 12, 40));
    writeFile(src + "/docs/日本語.txt", "CP932 name");
    writeFile(src + "/docs/café😀.txt", "UTF-8 name");
    // Not UTF-8, and sorted before members that must still come out after it.
    writeFile(src + "/docs/caf\xe9.txt", "Latin-1 name");
    writeFile(src + "/lib/libthing.so", randomData(40000, 13, 256), 0755);
    writeFile(src + "/empty.cfg", "");
    makeDirs(src + "/cache");
    makeSymlink("../program", src + "/lib/program-link");
}

Tree withoutTimes(const std::string& root) {
    return readTree(root, false);
}

// lhasa ignores the code-page header and writes stored name bytes as they are, so names we
// store in CP932 come out in CP932 there.
Tree asLhasaNamesIt(const Tree& tree) {
    Tree out;
    for (const auto& [path, node] : tree)
        out[archiver::encodeName(path).bytes] = node;
    return out;
}

// bsdtar converts names from their code page: names that are not UTF-8 come out read as
// code page 437.
Tree asBsdtarNamesIt(const Tree& tree) {
    Tree out;
    for (const auto& [path, node] : tree) {
        std::string name = path;
        if (!archiver::isValidUtf8(path)) {
            iconv_t cd = ::iconv_open("UTF-8", "CP437");
            std::string converted(path.size() * 4, '\0');
            char* in = name.data();
            char* o = converted.data();
            std::size_t inLeft = name.size(), outLeft = converted.size();
            ::iconv(cd, &in, &inLeft, &o, &outLeft);
            ::iconv_close(cd);
            converted.resize(converted.size() - outLeft);
            name = converted;
        }
        out[name] = node;
    }
    return out;
}

} // namespace

TEST(Interop, ourArchivesExtractIdenticallyWithLhasaAndBsdtar) {
    TempDir dir;
    makeSampleTree(dir / "src");
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "a.lzh", dir / "src"), nullptr, 0), ArchiverOk);
    // Compressed, not stored as is after failing our own read-back.
    for (const auto& m : archiver::readArchiveIndex(dir / "a.lzh").members)
        if (m.originalSize > (1 << 20)) {
            EXPECT_EQ(m.methodName(), "lh7") << m.path;
        }
    const Tree expected = withoutTimes(dir / "src");
    struct Tool {
        const char* program;
        const char* command;
        Tree expected;
    };
    for (const Tool& tool : {Tool{"lhasa", "lhasa -xq ../a.lzh", asLhasaNamesIt(expected)},
                             Tool{"bsdtar", "bsdtar -xf ../a.lzh", asBsdtarNamesIt(expected)}}) {
        if (!haveProgram(tool.program)) {
            ADD_FAILURE() << tool.program << " missing: scripts/setup installs it";
            continue;
        }
        const std::string out = dir / (std::string("out-") + tool.program);
        makeDirs(out);
        ASSERT_EQ(run("cd " + quote(out) + " && LANG=C.UTF-8 " + tool.command + " >/dev/null"), 0)
            << tool.program;
        EXPECT_EQ(withoutTimes(out), tool.expected) << tool.program << "\n"
                                                    << describe(withoutTimes(out));
    }
}

TEST(Interop, jlhaArchivesOfEveryMethodAndHeaderLevelExtractIdentically) {
    if (!haveProgram("jlha"))
        GTEST_FAIL() << "jlha missing: scripts/setup installs jlha-utils";
    TempDir dir;
    // jlha keeps neither permission bits nor non-ASCII names reliably: ASCII names only.
    writeFile(dir / "src/program.bin", randomData(120000, 21, 24));
    writeFile(dir / "src/docs/readme.txt", std::string(30000, 'r') + randomData(3000, 22, 30));
    writeFile(dir / "src/docs/tiny.txt", "t");
    const Tree expected = [&] {
        Tree t = withoutTimes(dir / "src");
        for (auto& [path, node] : t)
            node.executable = false;
        return t;
    }();
    for (const char level : {'0', '1', '2'}) {
        for (const char method : {'5', '6', '7'}) {
            const std::string name = std::string("j") + level + method;
            const std::string archive = dir / (name + ".lzh");
            const std::string options = std::string("a") + level + "o" + method;
            ASSERT_EQ(run("cd " + quote(dir / "src") + " && jlha " + options + " " +
                          quote(archive) +
                          " program.bin docs/readme.txt docs/tiny.txt >/dev/null 2>&1"),
                      0)
                << name;
            const std::string out = dir / ("out-" + name);
            ASSERT_EQ(Unlha(nullptr, expandCommand(archive, out), nullptr, 0), ArchiverOk) << name;
            Tree got = withoutTimes(out);
            for (auto& [path, node] : got)
                node.executable = false;
            EXPECT_EQ(got, expected) << name << "\n" << describe(got);
        }
    }
}

TEST(Interop, updatingAJlhaArchiveKeepsItsMembers) {
    if (!haveProgram("jlha"))
        GTEST_FAIL() << "jlha missing: scripts/setup installs jlha-utils";
    TempDir dir;
    writeFile(dir / "old/legacy.txt", std::string(10000, 'l'));
    ASSERT_EQ(run("cd " + quote(dir / "old") + " && jlha a1o5 " + quote(dir / "a.lzh") +
                  " legacy.txt >/dev/null 2>&1"),
              0);
    writeFile(dir / "src/new.txt", "new");
    ASSERT_EQ(Unlha(nullptr, storeCommand(dir / "a.lzh", dir / "src"), nullptr, 0), ArchiverOk);
    ASSERT_EQ(Unlha(nullptr, expandCommand(dir / "a.lzh", dir / "out"), nullptr, 0), ArchiverOk);
    EXPECT_EQ(readFile(dir / "out/legacy.txt"), std::string(10000, 'l'));
    EXPECT_EQ(readFile(dir / "out/new.txt"), "new");
}

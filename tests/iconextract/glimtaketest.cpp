// Runs the built program the way a shell or the launcher would, from a private folder, since
// it writes beside itself.

#include "iconextract/glimtake.h"
#include "iconextract/groupchoice.h"
#include "iconextract/memorysource.h"
#include "testpe.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace glimtake::test {
namespace {

class GlimtakeProgram : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   ("glimtake-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                    "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        fs::copy_file(GLIMTAKE_PROGRAM, m_folder / "glimtake");
    }
    void TearDown() override { fs::remove_all(m_folder); }

    // Exit code of the program run by /bin/sh with the given argument text; its output must be
    // empty.
    int run(const std::string& arguments) {
        const fs::path out = m_folder / "output.txt";
        const std::string command =
            "'" + (m_folder / "glimtake").string() + "' " + arguments + " >'" + out.string() + "' 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_EQ(fs::file_size(out), 0u) << "the program printed something";
        fs::remove(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::optional<Bytes> written() const {
        std::ifstream in(m_folder / "_temp.ico", std::ios::binary);
        if (!in)
            return std::nullopt;
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    fs::path m_folder;
};

TEST_F(GlimtakeProgram, pathWithSpacesWorksQuotedAndAsSeveralWords) {
    const std::string target = std::string(GLIMTAKE_FIXTURES) + "dir with spaces/groups 64.exe";
    const Bytes module = readFixture("groups64.exe");
    const auto expected = extractIcon(MemorySource(module));
    ASSERT_TRUE(expected);
    for (const std::string& arguments : {"\"" + target + "\"", target}) {
        fs::remove(m_folder / "_temp.ico");
        EXPECT_EQ(run(arguments), 0) << arguments;
        EXPECT_EQ(written(), expected) << arguments;
    }
    EXPECT_FALSE(fs::exists(m_folder / "_temp.ico.part"));
}

TEST_F(GlimtakeProgram, writesNothingAndStillExitsWithZero) {
    const std::string fixtures = GLIMTAKE_FIXTURES;
    for (const std::string& arguments : std::vector<std::string>{"", "'" + fixtures + "notpe.txt'", "'" + fixtures + "nores64.exe'", fixtures,
          "/no/such/file.exe"}) {
        EXPECT_EQ(run(arguments), 0) << arguments;
        EXPECT_FALSE(written()) << arguments;
    }
}

TEST(GlimtakeOutput, goesBesideTheProgramUnlessInstalledUnderUsr) {
    const fs::path working = "/home/u/.local/share/vadok";
    const struct {
        const char* self;
        fs::path expected;
    } cases[] = {
        {"/media/stick/vadok/glimtake", "/media/stick/vadok"},
        {"/usr/bin/glimtake", working},
        {"/usr/local/bin/glimtake", working},
        {"/usr/lib/vadok/../vadok/glimtake", working},
        {"/usrdata/glimtake", "/usrdata"},
        {"/home/u/usr/bin/glimtake", "/home/u/usr/bin"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(outputFolderFor(c.self, working), c.expected) << c.self;
}

} // namespace
} // namespace glimtake::test

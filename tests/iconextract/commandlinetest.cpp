#include "iconextract/commandline.h"

#include <gtest/gtest.h>

namespace glimtake {
namespace {

TEST(CommandLine, targetStartsTwoCharactersAfterTheSecondQuote) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"("C:\vadok\glimtake.exe" C:\Program Files\tool.exe)", R"(C:\Program Files\tool.exe)"},
        {R"("/opt/v/glimtake" "/a b/c.exe")", "/a b/c.exe"},
        {R"("/opt/v/glimtake" "/a b/c.exe)", "/a b/c.exe"},   // no closing quote
        {R"("/opt/v/glimtake" "/a "b"/c.exe")", R"(/a "b"/c.exe)"},
        {R"("/opt/v/glimtake" x)", "x"},
        {R"("/opt/v/glimtake" )", ""},
        {R"("/opt/v/glimtake")", ""},
        {R"("/opt/v/glimtake" "")", ""},
        {R"("/opt/v/glimtake" ")", ""},
        {"no quotes at all", ""},
    };
    for (const auto& [line, target] : cases)
        EXPECT_EQ(targetFromCommandLine(line), target) << line;
}

TEST(CommandLine, rebuiltLineGivesBackQuotedAndUnquotedTargets) {
    const char* quoted[] = {"/opt/v/glimtake", "/path with spaces/x.exe"};
    const char* words[] = {"/opt/v/glimtake", "/path", "with", "spaces/x.exe"};
    const char* strayQuote[] = {"/opt/v\"/glimtake", "/x.exe"};
    const char* none[] = {"/opt/v/glimtake"};
    EXPECT_EQ(targetFromCommandLine(wholeCommandLine(2, quoted)), "/path with spaces/x.exe");
    EXPECT_EQ(targetFromCommandLine(wholeCommandLine(4, words)), "/path with spaces/x.exe");
    EXPECT_EQ(targetFromCommandLine(wholeCommandLine(2, strayQuote)), "/x.exe");
    EXPECT_EQ(targetFromCommandLine(wholeCommandLine(1, none)), "");
    EXPECT_EQ(wholeCommandLine(2, quoted), "\"/opt/v/glimtake\" /path with spaces/x.exe");
}

} // namespace
} // namespace glimtake

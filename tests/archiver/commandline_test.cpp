#include "archiver/archiver.h"
#include "archiver/commandline.h"

#include <gtest/gtest.h>

using namespace vadok;
using namespace vadok::archiver;
using Op = ArchiverCommand::Operation;

TEST(CommandLine, acceptsExactlyTheDocumentedForms) {
    struct Case {
        const char* command;
        bool zip;
        Op op;
        bool quiet;
        const char* archive;
        const char* folder;
    };
    const Case cases[] = {
        {R"(u -d1 -y1 -h2 -jm2 "/p/Pack/My App.lzh" "/p/Exec/My App/" *)", false, Op::Store, false,
         "/p/Pack/My App.lzh", "/p/Exec/My App/"},
        {R"(u -d1 -y1 -h2 -jm2 -n "/p/a.lzh" "/p/a/" *)", false, Op::Store, true, "/p/a.lzh",
         "/p/a/"},
        {R"(x -d1 -y1 "/p/a.lzh" "/p/Exec/表示/" *)", false, Op::Expand, false, "/p/a.lzh",
         "/p/Exec/表示/"},
        {R"(x -d1 -y1 -n "/p/a.lzh" "/p/Exec/_work/" *)", false, Op::Expand, true, "/p/a.lzh",
         "/p/Exec/_work/"},
        {R"(-xs "/home/u/dl/tool.zip" "/p/Exec/_work/")", true, Op::ExpandZip, false,
         "/home/u/dl/tool.zip", "/p/Exec/_work/"},
        {R"(-xs -n "/t.zip" "/w/")", true, Op::ExpandZip, true, "/t.zip", "/w/"},
    };
    for (const auto& c : cases) {
        const auto parsed = c.zip ? parseUnzipCommand(c.command) : parseUnlhaCommand(c.command);
        ASSERT_TRUE(parsed) << c.command;
        EXPECT_EQ(parsed->operation, c.op) << c.command;
        EXPECT_EQ(parsed->quiet, c.quiet) << c.command;
        EXPECT_EQ(parsed->archive, c.archive) << c.command;
        EXPECT_EQ(parsed->folder, c.folder) << c.command;
    }
}

TEST(CommandLine, refusesAnythingElseWithTheBadCommandCode) {
    const char* unlha[] = {
        "",
        R"(a -d1 -y1 "/a.lzh" "/a/" *)",             // unknown command
        R"(u -d1 -y1 -h2 "/a.lzh" "/a/" *)",         // a required switch missing
        R"(u -d1 -y1 -h2 -jm2 -r "/a.lzh" "/a/" *)", // unknown switch
        R"(x -d1 -y1 -d1 "/a.lzh" "/a/" *)",         // repeated switch
        R"(x -d1 -y1 "/a.lzh" "/a/")",               // no trailing *
        R"(x -d1 -y1 "/a.lzh" "/a/" * extra)",       // trailing junk
        R"(x -d1 -y1 "/a.lzh" "/a" *)",              // folder without its slash
        R"(x -d1 -y1 /a.lzh "/a/" *)",               // unquoted path
        R"(x -d1 -y1 "/a.lzh "/a/" *)",              // unbalanced quotes
        R"(x -d1 -y1 "/a.lzh")",                     // one path only
        R"(u -d1 -y1 -h2 -jm2 "" "/a/" *)",          // empty archive name
    };
    for (const char* c : unlha)
        EXPECT_EQ(Unlha(nullptr, c, nullptr, 0), ArchiverBadCommand) << c;
    const char* unzip[] = {
        R"(-x "/a.zip" "/w/")",
        R"(-xs "/a.zip" "/w/" *)",
        R"(x -d1 -y1 "/a.zip" "/w/" *)",
    };
    for (const char* c : unzip)
        EXPECT_EQ(UnZip(nullptr, c, nullptr, 0), ArchiverBadCommand) << c;
}

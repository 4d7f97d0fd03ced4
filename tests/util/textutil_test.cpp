#include "util/textutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vadok;

namespace {

struct FieldCase {
    const char* text;
    const char* separator;
    int from;
    int to;
    const char* expected;
};

class GetFieldTable : public ::testing::TestWithParam<FieldCase> {};

TEST_P(GetFieldTable, takesTheRequestedFields) {
    const FieldCase& c = GetParam();
    EXPECT_EQ(GetField(QString::fromUtf8(c.text), QString::fromUtf8(c.separator), c.from, c.to),
              QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, GetFieldTable,
    ::testing::Values(FieldCase{"a b c", " ", 1, kOmitted, "a"},
                      FieldCase{"a b c", " ", 2, kOmitted, "b"},
                      FieldCase{"a b c", " ", 2, 99, "b c"},
                      FieldCase{"a b c", " ", 4, kOmitted, ""},
                      FieldCase{"a b c", " ", 3, 2, ""},
                      FieldCase{"abc", " ", 1, kOmitted, "abc"},
                      FieldCase{"abc", " ", 2, kOmitted, ""},
                      FieldCase{"", " ", 1, kOmitted, ""},
                      FieldCase{"a b", "", 1, kOmitted, ""},
                      // the last folder name of a path ending in the separator
                      FieldCase{"/x/y/", "/", 3, kOmitted, "y"},
                      FieldCase{"/x/y/", "/", 4, kOmitted, ""},
                      // what follows the program name of a command
                      FieldCase{"tool.exe -a.exe b", ".exe", 2, 99, " -a.exe b"},
                      FieldCase{"Tool.EXE -a", ".exe", 2, kOmitted, ""},
                      FieldCase{"l1\r\nl2\r\n", "\r\n", 2, kOmitted, "l2"}));

TEST(CountFields, countsSeparatorsPlusOneAndTheTextLengthWhenOmitted) {
    EXPECT_EQ(CountFields(QStringLiteral("a\r\nb\r\n"), QStringLiteral("\r\n")), 3);
    EXPECT_EQ(CountFields(QStringLiteral("/x/y/"), QStringLiteral("/")), 4);
    EXPECT_EQ(CountFields(QString(), QStringLiteral(" ")), 0);
    EXPECT_EQ(CountFields(QStringLiteral("abc"), QString()), 0);
    EXPECT_EQ(CountFields(QStringLiteral("abcd")), 4);
}

TEST(FieldEndPos, pointsJustAfterTheNextSeparator) {
    EXPECT_EQ(FieldEndPos(QStringLiteral("a b c"), QStringLiteral(" "), 1), 3);
    EXPECT_EQ(FieldEndPos(QStringLiteral("a b c"), QStringLiteral(" "), 3), 5);
    EXPECT_EQ(FieldEndPos(QStringLiteral("a b c"), QStringLiteral(" "), -4), 3);
    EXPECT_EQ(FieldEndPos(QStringLiteral("a b c"), QStringLiteral(" "), 5), 0);
    EXPECT_EQ(FieldEndPos(QStringLiteral("a b c"), QString(), 3), 1);
}

TEST(TrimTrailingBreaks, removesSpacesAndLineBreaksAlternately) {
    EXPECT_EQ(TrimTrailingBreaks(QStringLiteral("x \r\n \r\n")), QStringLiteral("x"));
    EXPECT_EQ(TrimTrailingBreaks(QStringLiteral("a\r\nb")), QStringLiteral("a\r\nb"));
    EXPECT_EQ(TrimTrailingBreaks(QStringLiteral("a\n")), QStringLiteral("a\n"));
    EXPECT_EQ(TrimTrailingBreaks(QStringLiteral("\r\n\r\n")), QString());
}

TEST(IsExistingFolder, isTrueOnlyForFolders) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/sub dir");
    QDir().mkpath(folder);
    QFile file(dir.path() + QStringLiteral("/file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(IsExistingFolder(folder));
    EXPECT_TRUE(IsExistingFolder(folder + u'/'));
    EXPECT_FALSE(IsExistingFolder(file.fileName()));
    EXPECT_FALSE(IsExistingFolder(dir.path() + QStringLiteral("/missing")));
    EXPECT_FALSE(IsExistingFolder(QString()));
}

} // namespace

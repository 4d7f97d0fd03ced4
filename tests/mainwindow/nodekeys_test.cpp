#include "mainwindow/nodekeys.h"

#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace vadok::test {
namespace {

struct NameCase {
    const char* name;
    bool numeric;
};

class FolderKeys : public ::testing::TestWithParam<NameCase> {};

TEST_P(FolderKeys, numericNamesGetTheSuffixOthersKeepTheirName) {
    const QString name = QString::fromUtf8(GetParam().name);
    EXPECT_EQ(isNumericName(name), GetParam().numeric) << GetParam().name;
    EXPECT_EQ(folderKey(name), GetParam().numeric ? name + QStringLiteral("numonly") : name);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FolderKeys,
    ::testing::Values(NameCase{"2008", true}, NameCase{"12", true}, NameCase{"1.5", true},
                      NameCase{" 3 ", true}, NameCase{"-7", true}, NameCase{"+0.25", true},
                      NameCase{".5", true}, NameCase{"1e3", true}, NameCase{"", false},
                      NameCase{" ", false}, NameCase{".", false}, NameCase{"1.2.3", false},
                      NameCase{"12a", false}, NameCase{"0x10", false}, NameCase{"1e", false},
                      NameCase{"3 4", false}, NameCase{"メイン", false}, NameCase{"ROOT", false}));

} // namespace
} // namespace vadok::test

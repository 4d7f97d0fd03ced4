#include "catalog/titlematch.h"
#include "catalogfixture.h"

namespace vadok::test {
namespace {

class TitleMatchTest : public CatalogTest {
protected:
    void SetUp() override {
        writeDataFile(appsFile(QStringLiteral(
            "<App><Name>PaintShop</Name></App>"
            "<App><Name>ｚｉｐ工具</Name></App>"
            "<App><Name>ＺＩＰ倉庫</Name></App>"
            "<App><Name>zipper</Name></App>"
            "<App><Name>テキスト</Name></App>")));
    }
};

TEST_F(TitleMatchTest, matchesAnywhereInTheTitleIgnoringCaseButNotWidth) {
    const struct {
        const char* text;
        QStringList titles;
    } cases[] = {
        {"shop", {"PaintShop"}},
        {"PAINTs", {"PaintShop"}},
        {"ｚｉｐ", {"ｚｉｐ工具", "ＺＩＰ倉庫"}}, // full-width letters, either case
        {"Ｚｉｐ", {"ｚｉｐ工具", "ＺＩＰ倉庫"}},
        {"zip", {"zipper"}}, // half-width never matches full-width
        {"キス", {"テキスト"}},
        {"paint shop", {}},
        {"", {"PaintShop", "ｚｉｐ工具", "ＺＩＰ倉庫", "zipper", "テキスト"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SearchTitles(QString::fromUtf8(c.text)), c.titles) << c.text;
}

TEST_F(TitleMatchTest, aMissingOrBrokenFileFindsNothingAndSaysNothing) {
    folder.writeFile(QStringLiteral("vadok.xml"), "<Vadok><Apps><App><Name>x");
    EXPECT_EQ(SearchTitles(QStringLiteral("x")), QStringList());
    QFile::remove(dataFilePath());
    EXPECT_EQ(SearchTitles(QStringLiteral("x")), QStringList());
}

} // namespace
} // namespace vadok::test

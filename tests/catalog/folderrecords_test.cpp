#include "catalog/folderrecords.h"
#include "catalog/notessearch.h"
#include "catalog/subcommands.h"
#include "catalogfixture.h"

namespace vadok::test {
namespace {

class FolderRecordsTest : public CatalogTest {
protected:
    void SetUp() override {
        writeDataFile(appsFile(
            QStringLiteral("<App><Name>Ed</Name><Fol>Tools</Fol></App>"
                           "<App><Name>Zip</Name><Fol>Tools2</Fol></App>"
                           "<App><Name>Sub</Name><Fol>Deep</Fol></App>"),
            QStringLiteral(
                "<Folder Name=\"Tools\" Parent=\"ROOT\" Order=\"1\"><AppItem>Ed</AppItem></Folder>"
                "<Folder Name=\"Deep\" Parent=\"Tools\" Order=\"2\"/>"
                "<Folder Name=\"Tools2\" Parent=\"ROOT\" Order=\"3\"/>"
                "<Folder Name=\"Other\" Parent=\"Tools2\" Order=\"1\"/>")));
    }
    QString folderAttribute(XmlDocument& doc, const QString& name, const char* attribute) {
        for (const XmlElement& f : doc.select(QStringLiteral("//Folder"))) {
            if (f.attribute(QStringLiteral("Name")) == name)
                return f.attribute(QString::fromUtf8(attribute));
        }
        return QStringLiteral("<none>");
    }
    QString fol(XmlDocument& doc, const QString& app) {
        for (const XmlElement& a : doc.select(QStringLiteral("//App"))) {
            if (a.firstChild(QStringLiteral("Name")).text() == app)
                return a.firstChild(QStringLiteral("Fol")).text();
        }
        return QStringLiteral("<none>");
    }
};

TEST_F(FolderRecordsTest, renameFollowsIntoChildFoldersAndApplicationsOnly) {
    ASSERT_TRUE(RenameFolder(QStringLiteral("Tools"), QString(), QStringLiteral("Utils")));
    auto doc = reload();
    EXPECT_EQ(folderAttribute(*doc, QStringLiteral("Utils"), "Parent"), "ROOT");
    EXPECT_EQ(folderAttribute(*doc, QStringLiteral("Tools"), "Parent"), "<none>");
    EXPECT_EQ(folderAttribute(*doc, QStringLiteral("Deep"), "Parent"), "Utils");
    EXPECT_EQ(fol(*doc, QStringLiteral("Ed")), "Utils");
    EXPECT_EQ(fol(*doc, QStringLiteral("Zip")), "Tools2");
    EXPECT_EQ(folderAttribute(*doc, QStringLiteral("Other"), "Parent"), "Tools2");
    EXPECT_EQ(doc->selectFirst(QStringLiteral("//Folder[@Name='Utils']/AppItem")).text(), "Ed");
}

TEST_F(FolderRecordsTest, moveWithoutRenameChangesOnlyTheParent) {
    ASSERT_TRUE(RenameFolder(QStringLiteral("Deep"), QStringLiteral("Tools2"), QString()));
    auto doc = reload();
    EXPECT_EQ(folderAttribute(*doc, QStringLiteral("Deep"), "Parent"), "Tools2");
    EXPECT_EQ(fol(*doc, QStringLiteral("Sub")), "Deep");
}

TEST_F(FolderRecordsTest, addedFolderGoesLastWithOrder99AndNamesStayUnique) {
    EXPECT_FALSE(FolderExists(QStringLiteral("New")));
    ASSERT_TRUE(AddFolder(QStringLiteral("New"), QStringLiteral("Tools")));
    EXPECT_TRUE(FolderExists(QStringLiteral("New")));
    EXPECT_FALSE(FolderExists(QStringLiteral("new")));
    auto doc = reload();
    const XmlElement last = doc->select(QStringLiteral("/Vadok/Folders/Folder")).last();
    EXPECT_EQ(last.attribute(QStringLiteral("Name")), "New");
    EXPECT_EQ(last.attribute(QStringLiteral("Parent")), "Tools");
    EXPECT_EQ(last.attribute(QStringLiteral("Order")), "99");

    const QByteArray before = dataFileBytes();
    EXPECT_FALSE(AddFolder(QStringLiteral("Tools"), QStringLiteral("ROOT")));
    EXPECT_EQ(dataFileBytes(), before);
}

TEST_F(FolderRecordsTest, subCommandsAreReplacedInOrderAndEmptyOnesSkippedOnRead) {
    AppRecord app;
    app.AppName = QStringLiteral("Ed");
    QStringList list;
    EXPECT_TRUE(ReadSubCommands(QStringLiteral("Ed"), list).isEmpty());

    ASSERT_TRUE(
        SaveSubCommands(app, {QStringLiteral("ed.exe -a"), QString(), QStringLiteral("b")}));
    ASSERT_TRUE(SaveSubCommands(app, {QStringLiteral("one"), QString(), QStringLiteral("two")}));
    auto doc = reload();
    EXPECT_EQ(doc->select(QStringLiteral("//App/SubExec/Cmd")).size(), 3);
    list = {QStringLiteral("earlier")};
    EXPECT_EQ(ReadSubCommands(QStringLiteral("Ed"), list), (QStringList{"earlier", "one", "two"}));
}

class NotesSearchTest : public CatalogTest {
protected:
    void SetUp() override {
        writeDataFile(appsFile(QStringLiteral(
            "<App><Name>Arc</Name><Text><Line>packs zip files</Line></Text></App>"
            "<App><Name>Tom</Name><Text><Line>first</Line><Line>Tom's \"best\" "
            "game</Line></Text></App>"
            "<App><Name>Unzip</Name><Text><Line>x</Line><Line>y</Line><Line>reads zip "
            "too</Line></Text></App>"
            "<App><Name>Split</Name><Text><Line>zi</Line><Line>p</Line></Text></App>")));
    }
};

TEST_F(NotesSearchTest, findsLinesContainingTheTextJoinedByTab) {
    const struct {
        const char* text;
        const char* titles;
    } cases[] = {
        {"zip", "Arc\tUnzip"}, // any line, not only the first
        {"Zip", ""},           // case-sensitive
        {"Tom's", "Tom"},      // an apostrophe is just a character
        {"\"best\"", "Tom"},
        {"s \"best", "Tom"},
        {"zi\r\np", ""}, // never across a line break
        {"nothing like it", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SearchNotes(QString::fromUtf8(c.text)), QString::fromUtf8(c.titles)) << c.text;
}

TEST_F(NotesSearchTest, unreadableFileShowsTheXmlErrorMessageAndFindsNothing) {
    folder.writeFile(QStringLiteral("vadok.xml"), "<Vadok><Apps>");
    prompter.expectPrefix(
        QStringLiteral("XML操作中にエラーが発生しました。\r\nマイクロソフトのサイトから[MSXML6]"
                       "の最新バージョンを取得してください。\r\n\r\n"));
    EXPECT_EQ(SearchNotes(QStringLiteral("zip")), QString());
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(prompter.messages()[0].icon, MsgIcon::Exclamation);
    EXPECT_GT(prompter.messages()[0].text.size(), 60);
}

} // namespace
} // namespace vadok::test

#include "catalog/apprecords.h"
#include "catalog/valueconv.h"
#include "catalog/xmlbusy.h"
#include "catalogfixture.h"
#include "platform/clock.h"

#include <QFile>

namespace vadok::test {
namespace {

class AppRecordsTest : public CatalogTest {
protected:
    void SetUp() override {
        setClockSource([] { return QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)); });
    }
    void TearDown() override { setClockSource({}); }

    XmlElement appElement(XmlDocument& doc, const QString& name) const {
        for (const XmlElement& app : doc.select(QStringLiteral("//App"))) {
            if (app.firstChild(QStringLiteral("Name")).text() == name)
                return app;
        }
        return {};
    }
    static QStringList childNames(const XmlElement& element) {
        QStringList names;
        for (const XmlElement& child : element.children())
            names << child.name();
        return names;
    }
    static QStringList lines(const XmlElement& app) {
        QStringList texts;
        for (const XmlElement& line : app.firstChild(QStringLiteral("Text")).children())
            texts << line.text();
        return texts;
    }
};

TEST_F(AppRecordsTest, newRecordIsWrittenInFieldOrderAndReadsBack) {
    writeDataFile(appsFile(QString()));
    AppRecord app;
    app.AppName = QStringLiteral("エディタ ①");
    app.AppDir = QStringLiteral("ツール");
    app.ExecCmd = QStringLiteral("bin/edit.exe -n");
    app.LastOpenDateTime = QDateTime(QDate(2023, 12, 31), QTime(23, 5, 0));
    app.ShortCut = true;
    app.OverRideBasePath = QStringLiteral("/opt/edit/");
    app.Info = QStringLiteral("a\r\n\r\nb");
    ASSERT_TRUE(SaveAppRecord(app));

    auto doc = reload();
    XmlElement element = appElement(*doc, app.AppName);
    EXPECT_EQ(childNames(element),
              (QStringList{"Name", "Fol", "Date", "Exec", "NonPack", "ShortCut", "Text"}));
    EXPECT_EQ(element.firstChild(QStringLiteral("Date")).text(), "2023/12/31 23:05:00");
    EXPECT_EQ(element.firstChild(QStringLiteral("NonPack")).text(), "False");
    EXPECT_EQ(element.firstChild(QStringLiteral("ShortCut")).attribute(QStringLiteral("basePath")),
              "/opt/edit/");
    EXPECT_EQ(lines(element), (QStringList{"a", "", "b"}));

    AppRecord read;
    ASSERT_TRUE(FindAppByName(app.AppName, read));
    EXPECT_EQ(read.AppDir, app.AppDir);
    EXPECT_EQ(read.ExecCmd, app.ExecCmd);
    EXPECT_EQ(read.Info, QStringLiteral("a\r\n\r\nb\r\n"));
    EXPECT_TRUE(read.ShortCut);
    EXPECT_EQ(read.OverRideBasePath, app.OverRideBasePath);
    // Reading a shortcut record stamps it with the present, whatever Date holds.
    EXPECT_EQ(read.LastOpenDateTime, currentDateTime());
    EXPECT_FALSE(xmlBusy());
}

TEST_F(AppRecordsTest, renameIsSavedUnderTheOldTitleAndAnEmptyKeyWouldAddASecondRecord) {
    writeDataFile(
        appsFile(QStringLiteral("<App><Name>A</Name><Fol>X</Fol><Exec>a.exe</Exec>"
                                "<Text><Line>n</Line></Text><Custom>keep</Custom></App>")));
    AppRecord app;
    ASSERT_TRUE(FindAppByName(QStringLiteral("A"), app));
    app.AppName = QStringLiteral("B");
    ASSERT_TRUE(SaveAppRecord(app, QStringLiteral("A")));
    auto doc = reload();
    EXPECT_EQ(doc->select(QStringLiteral("//App")).size(), 1);
    XmlElement renamed = appElement(*doc, QStringLiteral("B"));
    ASSERT_FALSE(renamed.isNull());
    // Existing order is kept and the missing Date is appended at the end.
    EXPECT_EQ(childNames(renamed), (QStringList{"Name", "Fol", "Exec", "Text", "Custom", "Date"}));

    app.AppName = QStringLiteral("C");
    ASSERT_TRUE(SaveAppRecord(app));
    EXPECT_EQ(reload()->select(QStringLiteral("//App")).size(), 2);
}

TEST_F(AppRecordsTest, updatedNotesLoseTrailingBlankLinesAndSpaces) {
    writeDataFile(appsFile(QStringLiteral("<App><Name>A</Name></App>")));
    const struct {
        QString notes, stored;
        QStringList lines;
    } cases[] = {
        {QStringLiteral("x\r\n\r\n  "), QStringLiteral("x"), {"x"}},
        {QStringLiteral("x \r\n \r\n"), QStringLiteral("x"), {"x"}},
        {QStringLiteral("a\r\n\r\nb"), QStringLiteral("a\r\n\r\nb"), {"a", "", "b"}},
        {QStringLiteral("a\r\n  \r\nb"), QStringLiteral("a\r\n  \r\nb"), {"a", "  ", "b"}},
        {QString(), QString(), {""}},
    };
    for (const auto& c : cases) {
        AppRecord app;
        app.AppName = QStringLiteral("A");
        app.Info = c.notes;
        ASSERT_TRUE(SaveAppRecord(app));
        EXPECT_EQ(app.Info, c.stored);
        auto doc = reload();
        EXPECT_EQ(lines(appElement(*doc, QStringLiteral("A"))), c.lines);
    }
}

TEST_F(AppRecordsTest, notesOverTheLimitAreCutWithAWarningOnUpdate) {
    writeDataFile(appsFile(QStringLiteral("<App><Name>A</Name></App>")));
    prompter.expect(
        QStringLiteral("説明文が長すぎます\r\n\r\n説明文が65535文字を超えています。"
                       "65535文字目以降の文字数は格納することができないため切り捨てられます"));
    AppRecord app;
    app.AppName = QStringLiteral("A");
    app.Info = QString(70000, u'字');
    ASSERT_TRUE(SaveAppRecord(app));
    EXPECT_EQ(prompter.messages().last().icon, MsgIcon::Exclamation);
    EXPECT_EQ(app.Info.size(), kMaxNotesLength);
    AppRecord read;
    ASSERT_TRUE(FindAppByName(QStringLiteral("A"), read));
    EXPECT_EQ(read.Info, app.Info + QStringLiteral("\r\n"));
}

TEST_F(AppRecordsTest, nonPackFollowsTheCheckBoxBothWays) {
    writeDataFile(appsFile(QStringLiteral("<App><Name>A</Name></App>")));
    AppRecord app;
    app.AppName = QStringLiteral("A");
    ASSERT_TRUE(SaveAppRecord(app));
    EXPECT_TRUE(
        appElement(*reload(), QStringLiteral("A")).firstChild(QStringLiteral("NonPack")).isNull());
    app.NonPack = true;
    ASSERT_TRUE(SaveAppRecord(app));
    app.NonPack = false;
    ASSERT_TRUE(SaveAppRecord(app));
    EXPECT_EQ(
        appElement(*reload(), QStringLiteral("A")).firstChild(QStringLiteral("NonPack")).text(),
        "False");
    AppRecord read;
    read.NonPack = true;
    ASSERT_TRUE(FindAppByName(QStringLiteral("A"), read));
    EXPECT_FALSE(read.NonPack);
}

TEST_F(AppRecordsTest, readingLeavesMissingAndUnreadableFieldsAsTheyWere) {
    writeDataFile(appsFile(
        QStringLiteral("<App><Name>A</Name><Date>yesterday</Date><NonPack>perhaps</NonPack></App>"
                       "<App><Name>B</Name><ShortCut basePath=\"/x/\">False</ShortCut></App>")));
    AppRecord a;
    a.AppDir = QStringLiteral("kept");
    a.Info = QStringLiteral("kept notes");
    a.NonPack = true;
    ASSERT_TRUE(FindAppByName(QStringLiteral("A"), a));
    EXPECT_EQ(a.AppDir, QStringLiteral("kept"));
    EXPECT_EQ(a.Info, QStringLiteral("kept notes"));
    EXPECT_FALSE(a.LastOpenDateTime.isValid());
    EXPECT_TRUE(a.NonPack);

    AppRecord b;
    b.NonPack = true;
    ASSERT_TRUE(FindAppByName(QStringLiteral("B"), b));
    EXPECT_FALSE(b.NonPack); // no element means false
    EXPECT_FALSE(b.ShortCut);
    EXPECT_FALSE(b.LastOpenDateTime.isValid());
}

TEST_F(AppRecordsTest, datesReadFromTheWrittenFormAndFromIso8601) {
    const QDateTime expected(QDate(2024, 3, 5), QTime(9, 7, 1));
    const struct {
        const char* text;
        QDateTime value;
    } cases[] = {
        {"2024/03/05 9:07:01", expected},
        {"2024/3/5 09:07:01", expected},
        {"2024-03-05T09:07:01", expected},
        {"2024-03-05T09:07:01.000", expected},
        {"2024/03/05", QDateTime(QDate(2024, 3, 5), QTime(0, 0))},
        {"", QDateTime()},
        {"05.03.2024", QDateTime()},
        {"2024/13/45 9:07:01", QDateTime()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textToDateTime(QString::fromUtf8(c.text)).value_or(QDateTime()), c.value)
            << c.text;
    EXPECT_EQ(textToDateTime(dateTimeText(expected)), expected);
}

TEST_F(AppRecordsTest, lookupTakesTheFirstOfTwoRecordsWithTheSameName) {
    writeDataFile(appsFile(QStringLiteral("<App><Name>A</Name><Exec>first</Exec></App>"
                                          "<App><Name>a</Name><Exec>other case</Exec></App>"
                                          "<App><Name>A</Name><Exec>second</Exec></App>")));
    AppRecord app;
    ASSERT_TRUE(FindAppByName(QStringLiteral("A"), app));
    EXPECT_EQ(app.ExecCmd, QStringLiteral("first"));
    EXPECT_FALSE(FindAppByName(QStringLiteral("Missing"), app));

    ASSERT_TRUE(DeleteAppRecord(app));
    auto doc = reload();
    const QList<XmlElement> left = doc->select(QStringLiteral("//App/Exec"));
    ASSERT_EQ(left.size(), 2);
    EXPECT_EQ(left[0].text(), "other case");
    EXPECT_EQ(left[1].text(), "second");
}

TEST_F(AppRecordsTest, lookupWithoutDataFileSaysSoAndCreatesIt) {
    prompter.expect(QStringLiteral("データファイルが見つかりません\r\n新規作成します"));
    AppRecord app;
    EXPECT_FALSE(FindAppByName(QStringLiteral("A"), app));
    EXPECT_EQ(dataFileBytes(), dataFileTemplate());
    EXPECT_FALSE(xmlBusy());
}

TEST_F(AppRecordsTest, textWithMarkupCharactersIsStoredLiterally) {
    writeDataFile(appsFile(QString()));
    AppRecord app;
    app.AppName = QStringLiteral("Tom's game");
    app.ExecCmd = QStringLiteral("run.exe \"&amp;\" <game>");
    app.Info = QStringLiteral("Tom & Jerry's <game>");
    ASSERT_TRUE(SaveAppRecord(app));
    AppRecord read;
    ASSERT_TRUE(FindAppByName(app.AppName, read));
    EXPECT_EQ(read.ExecCmd, app.ExecCmd);
    EXPECT_EQ(read.Info, app.Info + QStringLiteral("\r\n"));
}

} // namespace
} // namespace vadok::test

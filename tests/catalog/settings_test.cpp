#include "catalog/configattributes.h"
#include "catalog/settings.h"
#include "catalog/xmlbusy.h"
#include "catalogfixture.h"
#include "support/fakemainwindow.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace vadok::test {
namespace {

class SettingsTest : public CatalogTest {
protected:
    void SetUp() override { settings() = Settings(); }
    void TearDown() override { setXmlBusySleep({}); }
    void writeConfig(const QString& config) const {
        writeDataFile(QStringLiteral("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n"
                                     "<Vadok dataversion=\"4\"><Folders/><Apps/>") +
                      config + QStringLiteral("</Vadok>"));
    }
    XmlElement config(XmlDocument& doc) const {
        return doc.selectFirst(QStringLiteral("/Vadok/Config"));
    }
};

TEST_F(SettingsTest, freshFileGivesEveryDefaultAndCreatesTheWorkingFolders) {
    ASSERT_TRUE(CreateDataFileFromTemplate());
    settings().Config.PackDate = 99; // the load starts from the defaults
    LoadSettings();
    const Settings& s = settings();
    EXPECT_EQ(s.Config.PackDate, 5);
    EXPECT_EQ(s.Config.Height, 6090);
    EXPECT_EQ(s.Config.Width, 7935);
    EXPECT_EQ(s.Config.narrowHeight, 5000);
    EXPECT_EQ(s.Config.narrowWidth, 3000);
    EXPECT_EQ(s.Config.LR, 3130);
    EXPECT_EQ(s.Config.posUD, 3500);
    EXPECT_EQ(s.Color.infoTXT, -2147483640);
    EXPECT_EQ(s.Color.infoBG, -2147483643);
    EXPECT_EQ(s.Color.treeFont.Name, QStringLiteral("ＭＳ Ｐゴシック"));
    EXPECT_EQ(s.Color.infoFont.Size, 9.0);
    EXPECT_EQ(s.Key.AppCallEnd, 16);
    EXPECT_EQ(s.Key.FindKey, 1);
    EXPECT_EQ(s.PackKey, 16);
    EXPECT_EQ(s.PackDir, folder.path() + QStringLiteral("Pack/"));
    EXPECT_EQ(s.ExecDir, folder.path() + QStringLiteral("Exec/"));
    EXPECT_EQ(s.IconDir, folder.path() + QStringLiteral("Icon/"));
    for (const QString& dir : {s.PackDir, s.ExecDir, s.IconDir})
        EXPECT_TRUE(QFileInfo(dir).isDir()) << dir.toStdString();
}

TEST_F(SettingsTest, firstSaveOfAFreshFileWritesACompleteConfigThatReadsBack) {
    ASSERT_TRUE(CreateDataFileFromTemplate());
    LoadSettings();
    Settings& s = settings();
    s.Config.PackDate = -1;
    s.Color.infoFont = {QStringLiteral("IPAGothic"), 10.5, true, false};
    s.Color.treeSEL = -2147483635;
    s.Color.DispSearchTextBoxAnyTime = true;
    s.Key.FindKey = 2;
    s.PackDir = QStringLiteral("/srv/store/");
    ASSERT_TRUE(SaveSettings());

    auto doc = reload();
    XmlElement c = config(*doc);
    ASSERT_FALSE(c.isNull());
    QStringList children;
    for (const XmlElement& child : c.children())
        children << child.name();
    // No Pos: KeepPos is 0. No Folders: they are this machine's, kept apart from the file.
    EXPECT_EQ(children, (QStringList{"Color", "Key"}));
    XmlElement color = c.firstChild(QStringLiteral("Color"));
    EXPECT_EQ(color.firstChild(QStringLiteral("infoFont")).attribute(QStringLiteral("Size")),
              "10.5");
    EXPECT_EQ(color.firstChild(QStringLiteral("infoFont")).attribute(QStringLiteral("Bold")), "-1");
    EXPECT_EQ(color.attribute(QStringLiteral("DispMenuNarrow")), "0");

    const Settings saved = s;
    s = Settings();
    LoadSettings();
    EXPECT_EQ(s.Config.PackDate, -1);
    EXPECT_EQ(s.Color.infoFont.Name, QStringLiteral("IPAGothic"));
    EXPECT_EQ(s.Color.infoFont.Size, 10.5);
    EXPECT_TRUE(s.Color.infoFont.Bold);
    EXPECT_EQ(s.Color.treeSEL, saved.Color.treeSEL);
    EXPECT_TRUE(s.Color.DispSearchTextBoxAnyTime);
    EXPECT_EQ(s.Key.FindKey, 2);
    EXPECT_EQ(s.ExecDir, saved.ExecDir);
    EXPECT_EQ(s.PackDir, QStringLiteral("/srv/store/"));
}

// Every setting away from its default, saved with the window shown: each lands under its own
// name and reads back into its own member.
TEST_F(SettingsTest, everySettingIsSavedUnderItsNameAndReadsBackIntoItsMember) {
    FakeMainWindow window;
    window.visible = true;
    window.positionTwips = QPoint(1515, 930);
    ASSERT_TRUE(CreateDataFileFromTemplate());
    LoadSettings();
    Settings& s = settings();
    s.Config = {7, 1, 1, 2, 0, 0, 6001, 7002, 3003, 2, 5004, 3005, 3506, 1, 1};
    s.Color.infoTXT = 11;
    s.Color.infoBG = 12;
    s.Color.treeTXT = 13;
    s.Color.treeBG = 14;
    s.Color.treeSEL = -15;
    s.Color.infoFont = {QStringLiteral("IPAGothic"), 10.5, true, false};
    s.Color.treeFont = {QStringLiteral("IPAMincho"), 12, false, true};
    s.Color.DispInfoNarrow = true;
    s.Color.DispStatusNarrow = true;
    s.Color.DispMenuNarrow = true;
    s.Color.DispSearchTextBoxAnyTime = true;
    s.Key = {17, 2};
    ASSERT_TRUE(SaveSettings());

    const QMap<QString, QString> expected{{"Config@PackDate", "7"},
                                          {"Config@KeepPos", "1"},
                                          {"Config@LhaDialog", "1"},
                                          {"Config@IntoTaskTray", "2"},
                                          {"Config/Pos@Left", "1515"},
                                          {"Config/Pos@Top", "930"},
                                          {"Config/Pos@Height", "6001"},
                                          {"Config/Pos@Width", "7002"},
                                          {"Config/Pos@LR", "3003"},
                                          {"Config/Pos@wState", "2"},
                                          {"Config/Pos@narrowHeight", "5004"},
                                          {"Config/Pos@narrowWidth", "3005"},
                                          {"Config/Pos@posUD", "3506"},
                                          {"Config/Pos@DispMode", "1"},
                                          {"Config/Pos@DispCmdButtons", "1"},
                                          {"Config/Color@infoTXT", "11"},
                                          {"Config/Color@infoBG", "12"},
                                          {"Config/Color@treeTXT", "13"},
                                          {"Config/Color@treeBG", "14"},
                                          {"Config/Color@treeSEL", "-15"},
                                          {"Config/Color@DispInfoNarrow", "-1"},
                                          {"Config/Color@DispStatusNarrow", "-1"},
                                          {"Config/Color@DispMenuNarrow", "-1"},
                                          {"Config/Color@DispSearchTextBoxAnyTime", "-1"},
                                          {"Config/Color/infoFont@Name", "IPAGothic"},
                                          {"Config/Color/infoFont@Size", "10.5"},
                                          {"Config/Color/infoFont@Bold", "-1"},
                                          {"Config/Color/infoFont@Ital", "0"},
                                          {"Config/Color/treeFont@Name", "IPAMincho"},
                                          {"Config/Color/treeFont@Size", "12"},
                                          {"Config/Color/treeFont@Bold", "0"},
                                          {"Config/Color/treeFont@Ital", "-1"},
                                          {"Config/Key@AppCallEnd", "17"},
                                          {"Config/Key@FindKey", "2"}};
    EXPECT_EQ(configAttributes(*reload()), expected);

    Settings saved = s;
    saved.Config.Left = 1515;
    saved.Config.Top = 930;
    s = Settings();
    LoadSettings();
    EXPECT_EQ(s.Config, saved.Config);
    EXPECT_EQ(s.Color, saved.Color);
    EXPECT_EQ(s.Key, saved.Key);
}

TEST_F(SettingsTest, positionIsReadOnlyWhenKeepPosIsOne) {
    const QString pos =
        QStringLiteral("<Pos Left=\"120.5\" Top=\"60\" Height=\"7000\" Width=\"8000\" "
                       "LR=\"2000\" wState=\"2\" narrowHeight=\"4000\" "
                       "narrowWidth=\"2500\" posUD=\"1000\" DispMode=\"1\" "
                       "DispCmdButtons=\"1\"/>");
    for (const char* keepPos : {"0", "2", "1"}) {
        settings() = Settings();
        writeConfig(QStringLiteral("<Config KeepPos=\"%1\">").arg(keepPos) + pos +
                    QStringLiteral("</Config>"));
        LoadSettings();
        const ConfigRecord& c = settings().Config;
        const bool kept = QByteArray(keepPos) == "1";
        EXPECT_EQ(c.Left, kept ? 120 : 0) << keepPos;
        EXPECT_EQ(c.Height, kept ? 7000 : 6090) << keepPos;
        EXPECT_EQ(c.DispMode, kept ? 1 : 0) << keepPos;
        EXPECT_EQ(c.DispCmdButtons, kept ? 1 : 0) << keepPos;
        EXPECT_EQ(c.posUD, kept ? 1000 : 3500) << keepPos;
    }
}

TEST_F(SettingsTest, positionIsWrittenOnlyWithKeepPosAndTheWindowShown) {
    FakeMainWindow window;
    window.positionTwips = QPoint(1500, 900);
    window.normalState = false;
    ASSERT_TRUE(CreateDataFileFromTemplate());
    LoadSettings();
    settings().Config.KeepPos = 0;
    settings().Config.DispMode = 1;
    ASSERT_TRUE(SaveSettings());
    EXPECT_TRUE(config(*reload()).firstChild(QStringLiteral("Pos")).isNull());

    settings().Config.KeepPos = 1;
    ASSERT_TRUE(SaveSettings());
    auto hidden = reload();
    XmlElement pos = config(*hidden).firstChild(QStringLiteral("Pos"));
    ASSERT_FALSE(pos.isNull());
    EXPECT_TRUE(window.normalState);                        // restored before the position is taken
    EXPECT_FALSE(pos.hasAttribute(QStringLiteral("Left"))); // the window is hidden
    EXPECT_EQ(pos.attribute(QStringLiteral("DispMode")), "1");

    window.visible = true;
    ASSERT_TRUE(SaveSettings());
    auto doc = reload();
    pos = config(*doc).firstChild(QStringLiteral("Pos"));
    EXPECT_EQ(pos.attribute(QStringLiteral("Left")), "1500");
    EXPECT_EQ(pos.attribute(QStringLiteral("Top")), "900");
    EXPECT_EQ(pos.attribute(QStringLiteral("Width")), "7935");
    EXPECT_EQ(pos.attribute(QStringLiteral("posUD")), "3500");
}

TEST_F(SettingsTest, unconvertibleValuesKeepTheirDefaults) {
    writeConfig(
        QStringLiteral("<Config PackDate=\"abc\" KeepPos=\"1\" LhaDialog=\"300\" IntoTaskTray=\"\">"
                       "<Pos Height=\"tall\" Width=\"-5\" wState=\"-1\" Left=\"1e40\"/>"
                       "<Color infoTXT=\"red\" DispInfoNarrow=\"maybe\" DispMenuNarrow=\"True\">"
                       "<infoFont Size=\"big\" Bold=\"1\"/></Color>"
                       "<Key FindKey=\"2\"/></Config>"));
    LoadSettings();
    const Settings& s = settings();
    EXPECT_EQ(s.Config.PackDate, 5);
    EXPECT_EQ(s.Config.LhaDialog, 0);
    EXPECT_EQ(s.Config.IntoTaskTray, 0);
    EXPECT_EQ(s.Config.Height, 6090);
    EXPECT_EQ(s.Config.Width, -5); // a negative size still converts
    EXPECT_EQ(s.Config.wState, 0);
    EXPECT_EQ(s.Config.Left, 0);
    EXPECT_EQ(s.Color.infoTXT, -2147483640);
    EXPECT_FALSE(s.Color.DispInfoNarrow);
    EXPECT_TRUE(s.Color.DispMenuNarrow);
    EXPECT_EQ(s.Color.infoFont.Size, 9.0);
    EXPECT_TRUE(s.Color.infoFont.Bold);
    EXPECT_EQ(s.Key.FindKey, 2); // taken though AppCallEnd is absent
    EXPECT_EQ(s.Key.AppCallEnd, 16);
}

TEST_F(SettingsTest, relativeFolderPathsResolveAgainstTheProgramFolderWithEitherSeparator) {
    writeConfig(QStringLiteral("<Config><Folders pack=\"..Data\\Pack\\\" exec=\"..Run\" "
                               "icon=\"%1\"/></Config>")
                    .arg(folder.path() + QStringLiteral("abs/icons")));
    QDir(folder.path()).mkdir(QStringLiteral("Data"));
    LoadSettings();
    EXPECT_EQ(settings().PackDir, folder.path() + QStringLiteral("Data/Pack/"));
    EXPECT_EQ(settings().ExecDir, folder.path() + QStringLiteral("Run/"));
    EXPECT_EQ(settings().IconDir, folder.path() + QStringLiteral("abs/icons/"));
    EXPECT_TRUE(QFileInfo(settings().PackDir).isDir());
    EXPECT_FALSE(QFileInfo(settings().IconDir).exists()); // one level only: abs/ is missing

    // Recorded for this machine as it read them: the next start, whatever the file says by
    // then, finds the same folders.
    ASSERT_TRUE(SaveSettings());
    writeConfig(QStringLiteral("<Config><Folders pack=\"..Elsewhere/\"/></Config>"));
    LoadSettings();
    EXPECT_EQ(settings().PackDir, folder.path() + QStringLiteral("Data/Pack/"));
    EXPECT_EQ(settings().IconDir, folder.path() + QStringLiteral("abs/icons/"));
}

TEST_F(SettingsTest, saveWithNothingChangedLeavesTheFileAsItIs) {
    ASSERT_TRUE(CreateDataFileFromTemplate());
    LoadSettings();
    ASSERT_TRUE(SaveSettings());
    // The same content without indentation: any save would write it indented again.
    auto doc = reload();
    bool ok = false;
    QByteArray compact = doc->toBytes(&ok);
    compact.replace("\n", "").replace("  ", "");
    folder.writeFile(QStringLiteral("vadok.xml"), compact);
    LoadSettings();
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(dataFileBytes(), compact);

    settings().Key.FindKey = settings().Key.AppCallEnd; // equal values are still compared apart
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(
        config(*reload()).firstChild(QStringLiteral("Key")).attribute(QStringLiteral("FindKey")),
        "16");
}

TEST_F(SettingsTest, saveKeepsWhatAnotherMachineChangedAndThisRunDidNot) {
    writeConfig(QStringLiteral(
        "<Config PackDate=\"5\" KeepPos=\"0\"><Key AppCallEnd=\"16\" FindKey=\"1\"/></Config>"));
    LoadSettings();
    // The sync delivers the other machine's file while this one runs.
    writeConfig(QStringLiteral(
        "<Config PackDate=\"9\" KeepPos=\"0\"><Key AppCallEnd=\"16\" FindKey=\"2\"/></Config>"));
    settings().Key.FindKey = 3;
    ASSERT_TRUE(SaveSettings());
    auto doc = reload();
    EXPECT_EQ(config(*doc).attribute(QStringLiteral("PackDate")), "9");
    EXPECT_EQ(config(*doc).firstChild(QStringLiteral("Key")).attribute(QStringLiteral("FindKey")),
              "3");
}

TEST_F(SettingsTest, loadWaitsForABusyDataFileAndGivesUpAfterFiftyRounds) {
    writeConfig(QStringLiteral("<Config PackDate=\"9\"/>"));
    settings().Config.PackDate = 1;
    int sleeps = 0;
    auto busy = std::make_optional<XmlBusyScope>();
    setXmlBusySleep([&](int ms) {
        EXPECT_EQ(ms, 100);
        ++sleeps;
    });
    LoadSettings();
    EXPECT_EQ(sleeps, 50);
    EXPECT_EQ(settings().Config.PackDate, 1); // skipped: the settings in memory stay
    EXPECT_TRUE(xmlBusy()) << "a load that waited cleared a mark it never set";

    sleeps = 0;
    setXmlBusySleep([&](int) {
        if (++sleeps == 3)
            busy.reset();
    });
    LoadSettings();
    EXPECT_EQ(sleeps, 3);
    EXPECT_EQ(settings().Config.PackDate, 9);
    EXPECT_FALSE(xmlBusy());
}

TEST_F(SettingsTest, theDataFileStaysBusyUntilItsOutermostHolderEnds) {
    {
        XmlBusyScope save;
        {
            XmlBusyScope lookupDuringTheSave;
        }
        EXPECT_TRUE(xmlBusy()) << "the inner holder's end cleared the outer one's mark";
    }
    EXPECT_FALSE(xmlBusy());
}

} // namespace
} // namespace vadok::test

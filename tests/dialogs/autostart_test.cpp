#include "settingsfixture.h"

#include "dialogs/autostart.h"
#include "platform/programfolder.h"
#include "platform/startupfolder.h"

#include <QFileInfo>
#include <QRadioButton>

namespace vadok::test {
namespace {

const QString kQuestion = QStringLiteral(
    "ログオン時にVadokが自動的に起動するように、スタートアップに登録しても良いですか？");
const QString kDone =
    QStringLiteral("スタートアップに登録しました。\r\n次回のログオン時からVadokが自動起動します");

class AutoStart : public SettingsDialogTest {
protected:
    void openResident() {
        settings().Config.IntoTaskTray = 2;
        dialog = std::make_unique<frmSysConfig>();
    }
    QPushButton* button() const { return widget<QPushButton>(QStringLiteral("cmdStartup")); }
    QString entry() const { return QString::fromUtf8(readFile(autostartFolder() + "vadok.desktop")); }
};

TEST_F(AutoStart, theEntryStartsTheProgramAfterTheDelayFinallyGiven) {
    const struct {
        QStringList answers;
        QStringList complaints;
        const char* delay;
    } cases[] = {
        {{"20"}, {}, "20"},
        {{"0"}, {}, "0"},
        {{"100"}, {}, "100"},
        {{"2.5"}, {}, "2"}, // halves go to the even neighbour
        {{"3.5"}, {}, "4"},
        {{"abc", "", "100.5", "-1", "7"},
         {"数値を入力してください", "数値を入力してください", "0-100の範囲で設定してください",
          "0-100の範囲で設定してください"},
         "7"},
    };
    for (const auto& c : cases) {
        QFile::remove(autostartFolder() + "vadok.desktop");
        openResident();
        EXPECT_EQ(button()->text(), QStringLiteral("自動起動の設定"));
        prompter.expect(kQuestion, MsgAnswer::Yes);
        for (const QString& answer : c.answers)
            prompter.expectInput(answer);
        for (const QString& complaint : c.complaints)
            prompter.expect(complaint);
        prompter.expect(kDone);
        button()->click();

        const QString program = programFolder() + QStringLiteral("vadok");
        EXPECT_EQ(entry(), QStringLiteral("[Desktop Entry]\nType=Application\nName=vadok\nExec=") +
                               program + QStringLiteral(" /START/Delay=") + c.delay +
                               QStringLiteral("\nPath=") + programFolder() +
                               QStringLiteral("\nComment=Vadok 常駐モード\nIcon=") + program +
                               u'\n')
            << c.delay;
        EXPECT_EQ(button()->text(), QStringLiteral("自動起動の解除"));
        EXPECT_EQ(prompter.messages().last().icon, MsgIcon::None);
    }
    EXPECT_TRUE(prompter.inputPrompts().first().startsWith(
        QStringLiteral("スタートアップに登録する場合、Vadokの起動まである程度時間をあけることをお勧めします。")));
}

TEST_F(AutoStart, noOrCancelInTheDelayBoxRegistersNothing) {
    openResident();
    prompter.expect(kQuestion, MsgAnswer::No);
    button()->click();
    prompter.expect(kQuestion, MsgAnswer::Yes).expectInput(QStringLiteral("x")).expectInput(std::nullopt);
    prompter.expect(QStringLiteral("数値を入力してください"));
    button()->click();
    EXPECT_FALSE(QFileInfo::exists(autostartFolder() + "vadok.desktop"));
    EXPECT_EQ(button()->text(), QStringLiteral("自動起動の設定"));
}

TEST_F(AutoStart, oneClickRemovesAnExistingEntryWithoutAWord) {
    writeFile(autostartFolder() + "vadok.desktop", "[Desktop Entry]\n");
    openResident();
    EXPECT_EQ(button()->text(), QStringLiteral("自動起動の解除"));
    button()->click();
    EXPECT_FALSE(QFileInfo::exists(autostartFolder() + "vadok.desktop"));
    EXPECT_EQ(button()->text(), QStringLiteral("自動起動の設定"));
}

TEST_F(AutoStart, aFolderThatCannotBeMadeIsAFailureSaidAsSuch) {
    // A file where the autostart folder should be.
    QDir(autostartFolder()).removeRecursively();
    writeFile(autostartFolder().chopped(1), "not a folder");
    openResident();
    prompter.expect(kQuestion, MsgAnswer::Yes).expectInput(QStringLiteral("5"));
    prompter.expect(QStringLiteral("スタートアップに登録…は失敗しました"));
    button()->click();
    EXPECT_EQ(prompter.messages().last().icon, MsgIcon::Critical);
}

TEST_F(AutoStart, theButtonIsOfferedOnlyInResidentMode) {
    settings().Config.IntoTaskTray = 0;
    dialog = std::make_unique<frmSysConfig>();
    dialog->show();
    EXPECT_FALSE(button()->isVisible());
    for (int option : {2, 1, 2, 0}) {
        widget<QRadioButton>(QStringLiteral("optIntoTaskTray(%1)").arg(option))->click();
        EXPECT_EQ(button()->isVisible(), option == 2) << option;
        EXPECT_EQ(button()->isEnabled(), option == 2) << option;
    }
}

TEST(StartupFolder, isTheAutostartFolderOfTheUsersConfiguration) {
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    const struct {
        const char* configHome;
        QString expected;
    } cases[] = {
        {"/tmp/conf", QStringLiteral("/tmp/conf/autostart/")},
        {"/tmp/conf/", QStringLiteral("/tmp/conf/autostart/")},
        {"", QDir::homePath() + QStringLiteral("/.config/autostart/")},
        {"relative/conf", QDir::homePath() + QStringLiteral("/.config/autostart/")},
    };
    for (const auto& c : cases) {
        qputenv("XDG_CONFIG_HOME", c.configHome);
        EXPECT_EQ(startupFolder(), c.expected) << c.configHome;
    }
    qputenv("XDG_CONFIG_HOME", old);
}

} // namespace
} // namespace vadok::test

#include "settingsfixture.h"

#include "shell/appearance.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QFontInfo>
#include <QFontDatabase>
#include <QTest>

#include <sys/stat.h>

namespace vadok::test {
namespace {

class SettingsDialog : public SettingsDialogTest {
protected:
    void open() { dialog = std::make_unique<frmSysConfig>(); }
    QLineEdit* line(const char* name) const { return widget<QLineEdit>(QString::fromLatin1(name)); }
};

TEST_F(SettingsDialog, theStoringPeriodIsRoundedDownAndKeptBetweenMinusOneAnd32765) {
    const struct {
        const char* typed;
        int stored; // -100: refused
        const char* message;
    } cases[] = {
        {"5.9", 5, nullptr},
        {"-0.5", -1, nullptr},
        {" 0 ", 0, nullptr},
        {"32765", 32765, nullptr},
        {"-1.5", -100, "格納期間には-1以上の値を入力してください"},
        {"32766", -100, "格納期間には32765以下の値を入力してください"},
        {"70000", -100, "格納期間には32765以下の値を入力してください"},
        {"five", -100, "格納期間には数値を設定してください"},
        {"", -100, "格納期間には数値を設定してください"},
    };
    for (const auto& c : cases) {
        settings().Config.PackDate = 7;
        open();
        line("txtDate")->setText(QString::fromUtf8(c.typed));
        if (c.message)
            prompter.expect(QString::fromUtf8(c.message));
        const bool closed = save();
        EXPECT_EQ(closed, c.message == nullptr) << c.typed;
        EXPECT_EQ(settings().Config.PackDate, c.message ? 7 : c.stored) << c.typed;
        if (c.message) {
            EXPECT_EQ(prompter.messages().last().icon, MsgIcon::Exclamation);
        }
    }
}

TEST_F(SettingsDialog, theSpinButtonsStepFromThePeriodTyped) {
    const struct {
        const char* typed;
        bool up;
        const char* shown;
    } cases[] = {
        {"7", true, "8"},
        {"7", false, "6"},
        {"0", false, "-1"},
        {"-1", false, "-1"}, // the lower end
        {"10", true, "10"},  // the upper end
        {"20", true, "20"},  // typed beyond the buttons' range: only typing goes there
        {"20", false, "9"},
        {"4.5", true, "5"},
        {"x", true, "6"},    // not a number: the buttons go on from the stored period
    };
    for (const auto& c : cases) {
        settings().Config.PackDate = 5;
        open();
        dialog->show();
        QLineEdit* date = line("txtDate");
        date->setFocus();
        date->selectAll();
        QTest::keyClicks(date, QString::fromUtf8(c.typed));
        ASSERT_EQ(date->text(), QString::fromUtf8(c.typed));
        auto* spin = widget<QScrollBar>(QStringLiteral("UpDown1"));
        const int y = c.up ? 3 : spin->height() - 4;
        QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, y));
        EXPECT_EQ(date->text(), QString::fromUtf8(c.shown)) << c.typed << (c.up ? " up" : " down");
    }
}

TEST_F(SettingsDialog, movingThePackFolderKeepsEveryArchiveAndRenamesTheOneThatMeetsItsName) {
    const QString oldPack = settings().PackDir;
    writeFile(oldPack + QStringLiteral("Tool.lzh"), "our tool");
    writeFile(oldPack + QStringLiteral("Game.lzh"), "our game");
    const QString target = scratch.path() + QStringLiteral("/archives");
    writeFile(target + QStringLiteral("/Tool.lzh"), "someone else's");
    open();
    line("txtPackPath")->setText(target); // no trailing "/"
    prompter.expect(target + QStringLiteral("/ に同じ名前のものがあったため、名前を変えて移動しました。"
                                            "\r\nTool.lzh → Tool (2).lzh"));

    ASSERT_TRUE(save());
    EXPECT_EQ(line("txtPackPath")->text(), target + u'/');
    EXPECT_EQ(settings().PackDir, target + u'/');
    EXPECT_EQ(readFile(target + QStringLiteral("/Tool (2).lzh")), "our tool");
    EXPECT_EQ(readFile(target + QStringLiteral("/Game.lzh")), "our game");
    EXPECT_EQ(readFile(target + QStringLiteral("/Tool.lzh")), "someone else's");
    // The old folder went to the trash, whole.
    EXPECT_FALSE(QFileInfo::exists(oldPack));
    EXPECT_EQ(readFile(trash.filesFolder() + QStringLiteral("/Pack/Tool.lzh")), "our tool");
}

TEST_F(SettingsDialog, aFolderThatDoesNotExistStopsTheSaveWithWhatCameBeforeApplied) {
    const QString execBefore = settings().ExecDir;
    open();
    line("txtDate")->setText(QStringLiteral("12"));
    line("txtExecPath")->setText(scratch.path() + QStringLiteral("/nowhere"));
    line("txtIconPath")->setText(scratch.path());
    prompter.expect(QStringLiteral("フォルダが存在しません"));

    EXPECT_FALSE(save());
    EXPECT_EQ(settings().Config.PackDate, 12);
    EXPECT_EQ(settings().ExecDir, execBefore);
    EXPECT_EQ(settings().IconDir, folder.file(QStringLiteral("Icon/")));
    EXPECT_EQ(line("txtExecPath")->selectedText(), scratch.path() + QStringLiteral("/nowhere/"));
}

TEST_F(SettingsDialog, aMoveThatFailsHalfWayLeavesTheOldFolderInUseAndSaysWhichFile) {
    const QString oldExec = settings().ExecDir;
    writeFile(oldExec + QStringLiteral("Editor/editor.bin"), "running program");
    const QString pipe = oldExec + QStringLiteral("Editor/socket");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    writeFile(oldExec + QStringLiteral("Viewer/viewer.bin"), "another");
    const QString target = scratch.path() + u'/';
    open();
    line("txtExecPath")->setText(target);
    prompter.expect(QStringLiteral("実行フォルダの移動に失敗しました。\r\n") + pipe +
                    QStringLiteral("\r\n通常のファイルではありません\r\n\r\n元のフォルダ ") + oldExec +
                    QStringLiteral(" をそのまま使います。"));

    EXPECT_FALSE(save());
    EXPECT_EQ(settings().ExecDir, oldExec);
    EXPECT_EQ(readFile(oldExec + QStringLiteral("Editor/editor.bin")), "running program");
    EXPECT_EQ(readFile(oldExec + QStringLiteral("Viewer/viewer.bin")), "another");
    EXPECT_TRUE(QDir(target).isEmpty());
    EXPECT_EQ(line("txtExecPath")->selectedText(), target);
}

TEST_F(SettingsDialog, anUnchangedPathOrAnotherNameOfTheSameFolderMovesNothing) {
    writeFile(settings().PackDir + QStringLiteral("Tool.lzh"), "only copy");
    const QString alias = scratch.path() + QStringLiteral("/packlink");
    ASSERT_TRUE(QFile::link(folder.file(QStringLiteral("Pack")), alias));
    ASSERT_TRUE(QDir(settings().IconDir).removeRecursively());
    open();
    line("txtPackPath")->setText(alias);

    ASSERT_TRUE(save());
    EXPECT_EQ(settings().PackDir, alias + u'/');
    EXPECT_EQ(readFile(alias + QStringLiteral("/Tool.lzh")), "only copy");
    EXPECT_EQ(settings().IconDir, folder.file(QStringLiteral("Icon/")));
    EXPECT_FALSE(QFileInfo::exists(trash.filesFolder()));
}

TEST_F(SettingsDialog, coloursAndFontsChangeOnlyWhenTheChooserSaysOk) {
    QFont chosen(QStringLiteral("DejaVu Sans"));
    chosen.setPointSizeF(12);
    chosen.setBold(true);
    choices.expectColor(std::nullopt)
        .expectColor(QColor(0x11, 0x22, 0x33))
        .expectFont(std::nullopt)
        .expectFont(chosen);
    open();
    auto clickOn = [](QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); };
    auto* textColour = widget<QLabel>(QStringLiteral("picSelColor(0)"));
    const QColor before = textColour->palette().color(QPalette::Window);
    clickOn(textColour);
    EXPECT_EQ(textColour->palette().color(QPalette::Window), before);
    clickOn(widget<QLabel>(QStringLiteral("picSelColor(1)")));
    EXPECT_EQ(widget<QLabel>(QStringLiteral("lblInfo"))->palette().color(QPalette::Window),
              QColor(0x11, 0x22, 0x33));
    auto* treeFont = widget<QLabel>(QStringLiteral("lblFont(1)"));
    clickOn(treeFont);
    // A Windows font this desktop lacks is named as the font the label is drawn with.
    EXPECT_EQ(treeFont->text(), QFontInfo(treeFont->font()).family());
    if (!QFontDatabase::families().contains(QStringLiteral("ＭＳ Ｐゴシック"))) {
        EXPECT_NE(treeFont->text(), QStringLiteral("ＭＳ Ｐゴシック"));
    }
    clickOn(treeFont);
    EXPECT_EQ(treeFont->text(), QStringLiteral("DejaVu Sans"));

    ASSERT_TRUE(save());
    const ColorRecord& c = settings().Color;
    EXPECT_EQ(c.infoTXT, qint32(0x80000008u)); // still the system's window text colour
    EXPECT_EQ(c.infoBG, 0x332211);
    EXPECT_EQ(c.treeFont.Name, QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(c.treeFont.Size, 12);
    EXPECT_TRUE(c.treeFont.Bold);
    EXPECT_EQ(c.infoFont.Name, QStringLiteral("ＭＳ Ｐゴシック"));
}

TEST_F(SettingsDialog, savedControlsBecomeTheSettingsAndCancelChangesNothing) {
    for (bool keep : {false, true}) {
        settings().Config.IntoTaskTray = 0;
        open();
        widget<QCheckBox>(QStringLiteral("chkKeepPos"))->setChecked(true);
        // Our archiver shows no dialog: the option is not offered, and its value is kept.
        EXPECT_FALSE(widget<QCheckBox>(QStringLiteral("chkUnlhaDialog"))->isVisibleTo(dialog.get()));
        widget<QCheckBox>(QStringLiteral("chkUnlhaDialog"))->setChecked(true);
        widget<QRadioButton>(QStringLiteral("optIntoTaskTray(1)"))->click();
        for (const char* name : {"chkUnDispInfo", "chkUnDispStatus", "chkUnDispMenu",
                                 "chkDispSearchTextBoxAnyTime"})
            widget<QCheckBox>(QString::fromLatin1(name))->setChecked(true);
        widget<QComboBox>(QStringLiteral("cboKey"))->setCurrentIndex(1);
        widget<QComboBox>(QStringLiteral("cboPackKey"))->setCurrentIndex(1);
        widget<QComboBox>(QStringLiteral("cboFindKey"))->setCurrentIndex(1);
        if (!keep) {
            click(QStringLiteral("cmdCancel"));
            EXPECT_EQ(dialog->result(), QDialog::Rejected);
            const Settings untouched;
            EXPECT_EQ(settings().Config.KeepPos, untouched.Config.KeepPos);
            EXPECT_EQ(settings().Key.AppCallEnd, untouched.Key.AppCallEnd);
            EXPECT_FALSE(settings().Color.DispMenuNarrow);
            continue;
        }
        ASSERT_TRUE(save());
        const Settings& s = settings();
        EXPECT_EQ(s.Config.KeepPos, 1);
        EXPECT_EQ(s.Config.LhaDialog, 1);
        EXPECT_EQ(s.Config.IntoTaskTray, 1);
        EXPECT_TRUE(s.Color.DispInfoNarrow && s.Color.DispStatusNarrow && s.Color.DispMenuNarrow &&
                    s.Color.DispSearchTextBoxAnyTime);
        EXPECT_EQ(s.Key.AppCallEnd, 17);
        EXPECT_EQ(s.PackKey, 17);
        EXPECT_EQ(s.Key.FindKey, 2);
    }
}

TEST_F(SettingsDialog, aKeyStoredAsSomethingElseStaysWhenNoItemIsChosen) {
    settings().Key.AppCallEnd = 18;
    settings().Key.FindKey = 0;
    open();
    EXPECT_EQ(widget<QComboBox>(QStringLiteral("cboKey"))->currentIndex(), -1);
    EXPECT_EQ(widget<QComboBox>(QStringLiteral("cboFindKey"))->currentIndex(), -1);
    ASSERT_TRUE(save());
    EXPECT_EQ(settings().Key.AppCallEnd, 18);
    EXPECT_EQ(settings().Key.FindKey, 0);
}

TEST_F(SettingsDialog, helpTextsFollowTheFocusAndTheMouse) {
    open();
    dialog->show();
    auto* help = widget<QLabel>(QStringLiteral("lblInfo"));
    EXPECT_EQ(help->text(), QStringLiteral("設定項目の説明がここに表示されます"));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(widget<QLabel>(QStringLiteral("picSelColor(3)")), &enter);
    EXPECT_EQ(help->text(), QStringLiteral("クリックして色を設定します"));
    QFocusEvent focus(QEvent::FocusIn);
    QApplication::sendEvent(widget<QComboBox>(QStringLiteral("cboFindKey")), &focus);
    EXPECT_EQ(help->text(), QStringLiteral("指定されたキーを押すと、検索モードになります。\n"
                                           "　検索モードではアプリ名などからアプリを検索することができます。"));
    EXPECT_TRUE(line("txtPackPath")->toolTip().startsWith(QStringLiteral("(通常は変更する必要はありません)")));
    // The upper arrow of the spin buttons counts up.
    auto* spin = widget<QScrollBar>(QStringLiteral("UpDown1"));
    QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(spin->width() / 2, 3));
    EXPECT_EQ(line("txtDate")->text(), QStringLiteral("6"));
    EXPECT_TRUE(help->text().startsWith(QStringLiteral("アプリケーションを最後に実行/展開/設定した日から")));
}

} // namespace
} // namespace vadok::test

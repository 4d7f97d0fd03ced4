#include "dialogs/frmdropfile.h"
#include "dialogs/registrationtarget.h"

#include "support/files.h"
#include "support/modaldriver.h"
#include "support/scriptedprompter.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

namespace vadok::test {
namespace {

// Records what the dialog asks the main window to register.
class RecordingTarget : public RegistrationTarget {
public:
    QString claimTitle(const QString& title) override { return title; }
    void NewApp(const QString& folder, const QString& title) override {
        calls << QStringLiteral("NewApp|") + folder + u'|' + title;
    }
    EditOutcome NewAppCore(const QString& title) override {
        calls << QStringLiteral("NewAppCore|") + title;
        return EditOutcome::Cancelled;
    }
    bool NewAppShortCut(const QString& title, const QString& command,
                        const QString& baseFolder) override {
        calls << QStringLiteral("NewAppShortCut|") + title + u'|' + command + u'|' + baseFolder;
        return true;
    }
    bool catalogLoading() const override { return loading; }
    bool holdsApplications() const override { return applications; }
    EditOutcome EditUpdatedApp(PackApp& app) override {
        calls << QStringLiteral("EditUpdatedApp|") + app.AppName();
        return EditOutcome::Cancelled;
    }
    bool loading = false;
    bool applications = true;
    QStringList calls;
};


class DropDialog : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.path() + u'/' + QString::fromUtf8(name); }

    QTemporaryDir dir;
    RecordingTarget target;
    ScriptedPrompter prompter;
    ModalDriver driver;
};

TEST_F(DropDialog, eachKindOfItemGetsItsCaptionAndItsWays) {
    writeFile(path("a.lzh"), "x");
    writeFile(path("a.zip"), "x");
    writeFile(path("a.exe"), "x");
    writeFile(path("a.desktop"), "[Desktop Entry]\nExec=/bin/true\n");
    writeFile(path("run"), "x", true);
    writeFile(path("notes.txt"), "x");
    writeFile(path(".hidden.lzh"), "x");
    QDir().mkpath(path("folder"));
    const QString unknown = QStringLiteral("Vadokは渡されたファイルを認識できませんでした。\n"
                                           "ドロップできるファイルは LZH/ZIP/フォルダ/ショートカットです。");
    const struct {
        const char* item;
        const char* caption;
        bool register_;
        bool link;
    } cases[] = {
        {"folder", "フォルダが渡されました", true, false},
        {"a.lzh", "圧縮ファイルが渡されました", true, false},
        {"a.zip", "圧縮ファイルが渡されました", true, false},
        {"a.desktop", "ショートカットが渡されました", false, true},
        {"a.exe", "プログラムが渡されました", false, true},
        {"run", "プログラムが渡されました", false, true},
        {"notes.txt", "不明なファイルの種類", false, false},
        {".hidden.lzh", "不明なファイルの種類", false, false},
        {"missing", "不明なファイルの種類", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        driver.then([&](QDialog& d) {
            EXPECT_EQ(d.windowTitle(), QString::fromUtf8(c.caption));
            EXPECT_EQ(control<QLabel>(d, "lblFileName")->text(), path(c.item));
            EXPECT_EQ(enabled(d, "cmdNew"), c.register_);
            EXPECT_EQ(enabled(d, "cmdLink"), c.link);
            EXPECT_EQ(enabled(d, "cmdVerUp"), c.register_);
            if (!c.register_ && !c.link) {
                EXPECT_EQ(control<QLabel>(d, "Label")->text(), unknown);
            }
            press(d, "cmdCancel");
        });
        frmDropFile dialog(target);
        dialog.setTag(path(c.item));
        dialog.exec();
    }
    EXPECT_TRUE(target.calls.isEmpty());
}

TEST_F(DropDialog, aShortcutIsRegisteredAsItsTargetOrAsItselfOrNotAtAll) {
    const QString entry = path("gimp.desktop");
    writeFile(entry, "[Desktop Entry]\nExec=/opt/gimp/bin/gimp-2.10 %U\n");
    const QString question = QStringLiteral(
        "Vadokにどのように登録しますか？\r\n\r\n"
        "  [はい] - ショートカットのリンク先を登録。(推奨)\r\n"
        "[いいえ] - ショートカットを登録。ショートカットに互換性などが設定されている場合に使用してみてください。\r\n"
        " [ｷｬﾝｾﾙ] - 前の画面に戻ります");
    prompter.expect(question, MsgAnswer::Cancel)
        .expect(question, MsgAnswer::Yes)
        .expect(question, MsgAnswer::No);
    driver.then([](QDialog& d) {
        press(d, "cmdLink");
        // Cancel returns to the dialog as it was.
        EXPECT_TRUE(d.isVisible());
        EXPECT_TRUE(enabled(d, "cmdLink"));
        EXPECT_FALSE(enabled(d, "cmdNew"));
        press(d, "cmdLink");
        EXPECT_FALSE(d.isVisible());
    });
    frmDropFile dialog(target);
    dialog.setTag(entry);
    dialog.exec();
    EXPECT_EQ(prompter.messages().value(0).title, QStringLiteral("ショートカットがドロップされました"));

    // Run without the dialog on the screen, as the main window's shortcut command does.
    frmDropFile direct(target);
    direct.setTag(entry);
    direct.cmdLink_Click();
    const QString program = path("setup.exe");
    writeFile(program, "MZ");
    direct.setTag(program);
    direct.cmdLink_Click();

    EXPECT_EQ(target.calls,
              (QStringList{QStringLiteral("NewAppShortCut|gimp-2|/opt/gimp/bin/gimp-2.10|/opt/gimp/bin/"),
                           QStringLiteral("NewAppShortCut|gimp-2|") + entry + u'|',
                           QStringLiteral("NewAppShortCut|setup|") + program + u'|' + dir.path() + u'/'}));
}

TEST_F(DropDialog, versionUpIsOfferedOnlyWithAnApplicationToUpdateAndAStopOffersItAgain) {
    QDir().mkpath(path("folder"));
    const struct {
        bool loading;
        bool applications;
        bool offered;
    } cases[] = {{false, true, true}, {false, false, false}, {true, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.loading);
        SCOPED_TRACE(c.applications);
        target.loading = c.loading;
        target.applications = c.applications;
        if (c.loading)
            prompter.expect(QStringLiteral("データロード中です。しばらくお待ち下さい"));
        driver.then([&c](QDialog& d) {
            EXPECT_EQ(enabled(d, "cmdVerUp"), c.offered);
            EXPECT_TRUE(enabled(d, "cmdNew"));
            if (c.loading) {
                // Nothing could be chosen yet: the dialog stays as it was, for a later try.
                press(d, "cmdVerUp");
                EXPECT_TRUE(d.isVisible());
                EXPECT_TRUE(enabled(d, "cmdVerUp"));
                EXPECT_TRUE(enabled(d, "cmdNew"));
                EXPECT_EQ(control<QLabel>(d, "Label")->text(),
                          QStringLiteral("バージョンアップを中止しました。"));
            }
            press(d, "cmdCancel");
        });
        frmDropFile dialog(target);
        dialog.setTag(path("folder"));
        dialog.exec();
    }
    EXPECT_EQ(prompter.messages().value(0).icon, MsgIcon::Information);
    EXPECT_TRUE(target.calls.isEmpty());
}

} // namespace
} // namespace vadok::test

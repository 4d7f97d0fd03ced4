#include "editorfixture.h"

#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "catalog/subcommands.h"
#include "catalog/xmldocument.h"
#include "platform/programfolder.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace vadok::test {
namespace {

const QString kOwnName =
    QStringLiteral("「_work」で始まる名称はVadokが作業用に使うため、使うことはできません");
const QString kInUse = QStringLiteral("変更された名称は既に使用されています。\r\n別の名称を入力してください。");

TEST_F(Editor, opensOnTheApplicationsFolderAndProgramsAndFallsBackToTheTop) {
    app.setAppDir(QStringLiteral("Sub"));
    driver.then([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Toolの設定"));
        EXPECT_EQ(folderList(d)->currentText(), QStringLiteral("　　Sub"));
        QComboBox* programs = control<QComboBox>(d, "txtExecCmd");
        EXPECT_EQ(programs->currentText(), QStringLiteral("run.sh"));
        ASSERT_EQ(programs->count(), 2);
        EXPECT_EQ(programs->itemText(0) + u'|' + programs->itemText(1), QStringLiteral("TOOL.EXE|run.sh"));
        for (const char* side : {"cmdTxt参照", "cmd通常以外の実行", "cmdExecCmd", "cmdIconPath"})
            EXPECT_TRUE(control<QPushButton>(d, side)->isEnabled()) << side;
        press(d, "cmdCancel");
    });
    EXPECT_EQ(edit(), EditOutcome::Cancelled);

    // A folder the tree no longer has: the top is offered, named as the tree names it, and
    // confirming moves it there.
    app.setAppDir(QStringLiteral("Gone"));
    driver.then([](QDialog& d) {
        EXPECT_EQ(folderList(d)->currentText(), QStringLiteral("Vadok"));
        press(d, "cmdOK");
    });
    EXPECT_EQ(edit(), EditOutcome::Saved);
    EXPECT_EQ(window.placedNodes, QStringList{QStringLiteral("Tool>ROOT")});
    EXPECT_EQ(stored(QStringLiteral("Tool")).AppDir, QStringLiteral("ROOT"));
}

struct Refused {
    const char* name;
    const char* command;
    int folder;
    QStringList warnings;
};

class Refusals : public Editor, public ::testing::WithParamInterface<Refused> {};

TEST_P(Refusals, everyRefusedCharacterIsNamedAndNothingIsSaved) {
    const Refused& c = GetParam();
    for (const QString& warning : c.warnings)
        prompter.expect(warning);
    const QByteArray archive = readFile(app.archivePath());
    const QByteArray data = readFile(dataFilePath());
    driver.then([&c](QDialog& d) {
        name(d)->setText(QString::fromUtf8(c.name));
        control<QComboBox>(d, "txtExecCmd")->setEditText(QString::fromUtf8(c.command));
        folderList(d)->setCurrentIndex(c.folder);
        notes(d)->setPlainText(QStringLiteral("changed"));
        press(d, "cmdOK");
        EXPECT_TRUE(d.isVisible());
        press(d, "cmdCancel");
    });
    EXPECT_EQ(edit(), EditOutcome::Cancelled);
    EXPECT_EQ(readFile(dataFilePath()), data);
    EXPECT_EQ(readFile(app.archivePath()), archive);
    for (const MessageRequest& warning : prompter.messages())
        EXPECT_EQ(warning.icon, MsgIcon::Exclamation);
}

QString refusedIn(const char* field, const char* c) {
    return QString::fromUtf8(field) + QStringLiteral("に ") + QString::fromUtf8(c) +
           QStringLiteral(" を使うことはできません");
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Refusals,
    ::testing::Values(
        Refused{"A&B!", "run.sh", 1, {refusedIn("名称", "&"), refusedIn("名称", "!")}},
        Refused{"x\"y", "a&b.sh", 0, {refusedIn("実行コマンド", "&"), refusedIn("名称", "\"")}},
        Refused{"Tool", "run.sh", 3, {refusedIn("フォルダ名", "&")}},
        Refused{"\\:;*?/><",
                "run.sh",
                0,
                {refusedIn("名称", "\\"), refusedIn("名称", ":"), refusedIn("名称", ";"),
                 refusedIn("名称", "*"), refusedIn("名称", "?"), refusedIn("名称", "/"),
                 refusedIn("名称", ">"), refusedIn("名称", "<")}},
        Refused{"   ", "run.sh", 0, {QStringLiteral("名称を入力してください")}},
        Refused{"..", "run.sh", 0, {QStringLiteral("名称を「.」や「..」にすることはできません")}},
        Refused{"_work", "run.sh", 0, {kOwnName}},
        Refused{"_Work-0001", "run.sh", 0, {kOwnName}},
        Refused{"_workfolmove", "run.sh", 0, {kOwnName}}));

TEST_F(Editor, notesAreSavedWithFullWidthMarkupCharacters) {
    driver.then([](QDialog& d) {
        name(d)->setText(QStringLiteral("  Tool  "));
        notes(d)->setPlainText(QStringLiteral("<b>bold</b> & more\nsecond line"));
        press(d, "cmdOK");
    });
    EXPECT_EQ(edit(), EditOutcome::Saved);
    EXPECT_EQ(stored(QStringLiteral("Tool")).Info,
              QStringLiteral("＜b＞bold＜/b＞ ＆ more\r\nsecond line\r\n"));
}

struct Clash {
    const char* name;
    bool selected;
};

class Clashes : public Editor, public ::testing::WithParamInterface<Clash> {};

TEST_P(Clashes, aNameInUseIsRefusedWithTheOtherEditsKept) {
    // An archive that no entry of the tree owns is not taken over either, nor a link in the
    // execution folder that leads nowhere.
    writeFile(settings().PackDir + QStringLiteral("Leftover.lzh"), "leftover");
    ASSERT_TRUE(QFile::link(scratch.path() + QStringLiteral("/nowhere"),
                            settings().ExecDir + QStringLiteral("Dangling")));
    const QByteArray data = readFile(dataFilePath());
    prompter.expect(kInUse);
    driver
        .then([](QDialog& d) {
            name(d)->setText(QString::fromUtf8(GetParam().name));
            notes(d)->setPlainText(QStringLiteral("new notes"));
            folderList(d)->setCurrentIndex(2);
            press(d, "cmdOK");
        })
        .then([](QDialog& d) {
            EXPECT_EQ(name(d)->selectedText(),
                      GetParam().selected ? QString::fromUtf8(GetParam().name) : QString());
            EXPECT_EQ(notes(d)->toPlainText(), QStringLiteral("new notes"));
            EXPECT_EQ(folderList(d)->currentText(), QStringLiteral("　　Sub"));
            // Shown again as it opened, so that closing it now cancels.
            EXPECT_EQ(d.windowTitle(), QStringLiteral("Toolの設定"));
            d.reject();
        });
    EXPECT_EQ(edit(), EditOutcome::Cancelled);
    EXPECT_EQ(readFile(dataFilePath()), data);
    EXPECT_TRUE(QFileInfo::exists(app.archivePath()));
    EXPECT_EQ(readFile(settings().PackDir + QStringLiteral("Leftover.lzh")), "leftover");
    EXPECT_TRUE(window.renamedNodes.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Names, Clashes,
                         ::testing::Values(Clash{"Other", true}, Clash{"Sub", true},
                                           Clash{"Leftover", true}, Clash{"Dangling", true},
                                           Clash{"ROOT", false},
                                           Clash{"Vadok", false}));

class Renames : public Editor, public ::testing::WithParamInterface<const char*> {};

TEST_P(Renames, archiveFolderAndIconFollowTheName) {
    const QString to = QString::fromUtf8(GetParam());
    const QByteArray archive = readFile(app.archivePath());
    driver.then([&to](QDialog& d) {
        // A change the archive does not hold yet.
        writeFile(settings().ExecDir + QStringLiteral("Tool/settings.ini"), "changed");
        name(d)->setText(to);
        folderList(d)->setCurrentIndex(2);
        press(d, "cmdOK");
    });
    EXPECT_EQ(edit(), EditOutcome::Saved);

    const Settings& s = settings();
    EXPECT_EQ(readFile(s.PackDir + to + QStringLiteral(".lzh")), archive);
    EXPECT_FALSE(QFileInfo::exists(s.PackDir + QStringLiteral("Tool.lzh")));
    EXPECT_EQ(readFile(s.IconDir + to + QStringLiteral(".ico")), "icon");
    EXPECT_FALSE(QFileInfo::exists(s.IconDir + QStringLiteral("Tool.ico")));
    // The expanded folder took the new name along with what it held, and nothing went to
    // the trash.
    EXPECT_FALSE(QFileInfo::exists(s.ExecDir + QStringLiteral("Tool")));
    EXPECT_EQ(readFile(s.ExecDir + to + QStringLiteral("/settings.ini")), "changed");
    EXPECT_TRUE(QFileInfo::exists(s.ExecDir + to + QStringLiteral("/run.sh")));
    EXPECT_FALSE(QFileInfo::exists(scratch.path() + QStringLiteral("/Trash/files")));
    EXPECT_EQ(window.renamedNodes, QStringList{QStringLiteral("Tool>") + to});
    EXPECT_EQ(window.placedNodes, QStringList{to + QStringLiteral(">Sub")});
    // Renamed and moved in one edit: one record, under the new name.
    EXPECT_EQ(recordsNamed(QStringLiteral("Tool")), 0);
    EXPECT_EQ(recordsNamed(to), 1);
    EXPECT_EQ(stored(to).AppDir, QStringLiteral("Sub"));
}

INSTANTIATE_TEST_SUITE_P(Names, Renames, ::testing::Values("tool", "ツール 2"));

TEST_F(Editor, aNameTheArchiveCannotTakeIsShownAndChangesNothing) {
    // Too long for a file name once ".lzh" is added.
    const QString tooLong(300, u'x');
    const QByteArray archive = readFile(app.archivePath());
    const QByteArray data = readFile(dataFilePath());
    prompter.expect(QStringLiteral("圧縮ファイルの名前を変更できませんでした。\r\n") + app.archivePath());
    driver
        .then([&tooLong](QDialog& d) {
            name(d)->setText(tooLong);
            press(d, "cmdOK");
        })
        .then([](QDialog& d) { press(d, "cmdCancel"); });
    EXPECT_EQ(edit(), EditOutcome::Cancelled);
    EXPECT_EQ(readFile(app.archivePath()), archive);
    EXPECT_EQ(readFile(app.iconPath()), "icon");
    EXPECT_TRUE(QFileInfo::exists(settings().ExecDir + QStringLiteral("Tool/run.sh")));
    EXPECT_EQ(readFile(dataFilePath()), data);
    EXPECT_TRUE(window.renamedNodes.isEmpty());
}

TEST_F(Editor, emptiedCommandBoxesRemoveTheStoredCommands) {
    ASSERT_TRUE(SaveSubCommands(app.record(), {QStringLiteral("setup.sh"), QStringLiteral("TOOL.EXE")}));
    driver.then([](QDialog& d) {
        EXPECT_EQ(control<QComboBox>(d, "txtSubExecCmd(1)")->currentText(), QStringLiteral("TOOL.EXE"));
        for (QComboBox* box : d.findChildren<QComboBox*>(QRegularExpression(QStringLiteral("^txtSubExecCmd"))))
            box->setEditText(QString());
        press(d, "cmdOK");
    });
    EXPECT_EQ(edit(), EditOutcome::Saved);
    QStringList commands;
    EXPECT_EQ(ReadSubCommands(QStringLiteral("Tool"), commands), QStringList());
}

TEST_F(Editor, removeDeletesOnlyAfterYes) {
    const QString question = QStringLiteral("[Tool]を削除してよろしいですか？");
    prompter.expect(question, MsgAnswer::No).expect(question, MsgAnswer::Yes);
    driver.then([](QDialog& d) {
        press(d, "cmdRemove");
        EXPECT_TRUE(d.isVisible());
        press(d, "cmdRemove");
    });
    EXPECT_EQ(edit(), EditOutcome::Deleted);
    EXPECT_FALSE(QFileInfo::exists(app.archivePath()));
    EXPECT_EQ(window.removedNodes, QStringList{QStringLiteral("Tool")});
}

// An icon chosen in the editor is applied with the edit (see frmedit_icon_test.cpp); a
// "_temp.ico" the editor did not make is not, and one left over from before is dropped.
TEST_F(Editor, aWaitingIconNotChosenInTheEditorIsNotTakenAndAStaleOneIsDropped) {
    const QString waiting = programFolder() + QStringLiteral("_temp.ico");
    writeFile(waiting, "stale");
    driver.then([&waiting](QDialog& d) {
        EXPECT_FALSE(QFileInfo::exists(waiting));
        writeFile(waiting, "not chosen");
        press(d, "cmdOK");
    });
    EXPECT_EQ(edit(), EditOutcome::Saved);
    EXPECT_EQ(readFile(app.iconPath()), "icon");
}

} // namespace
} // namespace vadok::test

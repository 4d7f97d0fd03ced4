// The programs the editor offers and the commands it lets run, for applications whose archives
// recorded no Unix modes (made on Windows or by LHA programs that keep none).
#include "editorfixture.h"

#include "catalog/settings.h"
#include "dialogs/frmdropfile.h"
#include "dialogs/registrationtarget.h"

#include "support/scriptedchooser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>

namespace vadok::test {
namespace {

const QByteArray kScript = "#!/bin/sh\necho run\n";
const QByteArray kElf("\x7f" "ELF\x02\x01\x01\x00", 8);

const FileList kWindowsFiles = {
    {QStringLiteral("Tool.EXE"), "MZ"},
    {QStringLiteral("run.sh"), kScript},
    {QStringLiteral("native"), kElf},
    {QStringLiteral("readme.txt"), "read me"},
    {QStringLiteral("sub/tool.sh"), kScript},
    {QStringLiteral("sub/deep.exe"), "MZ"},
};

mode_t modeOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 07777;
}

QStringList listed(QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items.append(box->itemText(i));
    return items;
}

// The archive jlha writes of files: it records no Unix modes at all.
QByteArray jlhaArchive(const FileList& files, const QString& scratch) {
    const QString source = scratch + QStringLiteral("/jlha-src/");
    for (const auto& [name, bytes] : files)
        writeFile(source + name, bytes);
    QStringList names;
    for (const auto& file : files)
        names.append(file.first);
    QProcess jlha;
    jlha.setWorkingDirectory(source);
    jlha.start(QStringLiteral("jlha"), QStringList{QStringLiteral("a"), scratch + QStringLiteral("/j.lzh")} + names);
    EXPECT_TRUE(jlha.waitForFinished(60000) && jlha.exitCode() == 0) << jlha.readAllStandardError().toStdString();
    return readFile(scratch + QStringLiteral("/j.lzh"));
}

struct Origin {
    const char* what;
    int level; // 0 or 1: our own headers without modes; -1: jlha's archive
};

class ProgramsOfModelessArchives : public Editor, public ::testing::WithParamInterface<Origin> {};

TEST_P(ProgramsOfModelessArchives, theEditorOffersTheWindowsProgramsScriptsAndProgramsBelowTheTop) {
    const Origin& c = GetParam();
    if (c.level < 0 && QStandardPaths::findExecutable(QStringLiteral("jlha")).isEmpty())
        GTEST_FAIL() << "jlha missing: scripts/setup installs jlha-utils";
    const QByteArray archive = c.level < 0 ? jlhaArchive(kWindowsFiles, scratch.path())
                                           : archiveWithoutModes(kWindowsFiles, c.level);
    PackApp win = registerArchive(QStringLiteral("Win"), QString(), archive);
    const QStringList programs = {QStringLiteral("native"), QStringLiteral("Tool.EXE"),
                                  QStringLiteral("sub/deep.exe"), QStringLiteral("run.sh"),
                                  QStringLiteral("sub/tool.sh")};
    driver.then([&programs](QDialog& d) {
        EXPECT_EQ(listed(control<QComboBox>(d, "txtExecCmd")), programs);
        // The alternative commands offer the same, once the editor runs.
        QCoreApplication::processEvents();
        EXPECT_EQ(listed(control<QComboBox>(d, "txtSubExecCmd(4)")), programs);
        press(d, "cmdCancel");
    });
    frmEdit editor(kFolders);
    EXPECT_EQ(win.ShowConfig(editor), EditOutcome::Cancelled);
    // Listing, and leaving without confirming, change nothing on disk.
    EXPECT_EQ(modeOf(win.expandedFolder() + QStringLiteral("run.sh")) & 0111, 0u);
}

INSTANTIATE_TEST_SUITE_P(Archives, ProgramsOfModelessArchives,
                         ::testing::Values(Origin{"level0", 0}, Origin{"level1", 1}, Origin{"jlha", -1}),
                         [](const auto& info) { return std::string(info.param.what); });

// Registers a dropped archive the way the main window does: the editor opens on the new
// application, whose folder is what the archive held.
class EditingTarget : public RegistrationTarget {
public:
    QString claimTitle(const QString& title) override { return title; }
    void NewApp(const QString&, const QString&) override {}
    EditOutcome NewAppCore(const QString& title) override {
        PackApp app;
        app.setAppName(title);
        app.setAppDir(QStringLiteral("ROOT"));
        frmEdit editor(kFolders);
        return app.ShowConfig(editor);
    }
    bool NewAppShortCut(const QString&, const QString&, const QString&) override { return false; }
    bool catalogLoading() const override { return false; }
    bool holdsApplications() const override { return true; }
    EditOutcome EditUpdatedApp(PackApp&) override { return EditOutcome::Cancelled; }
};

TEST_F(Editor, aDroppedArchiveWithoutModesOffersItsProgramsWhenRegistered) {
    const QString dropped = scratch.path() + QStringLiteral("/drop/Win.lzh");
    writeFile(dropped, archiveWithoutModes(kWindowsFiles, 0));
    EditingTarget target;
    QStringList offered;
    driver.then([](QDialog& d) { press(d, "cmdNew"); }).then([&offered](QDialog& d) {
        offered = listed(control<QComboBox>(d, "txtExecCmd"));
        press(d, "cmdCancel");
    });
    frmDropFile dialog(target);
    dialog.setTag(dropped);
    dialog.exec();
    EXPECT_EQ(offered, (QStringList{QStringLiteral("native"), QStringLiteral("Tool.EXE"),
                                    QStringLiteral("sub/deep.exe"), QStringLiteral("run.sh"),
                                    QStringLiteral("sub/tool.sh")}));
}

TEST_F(Editor, confirmedCommandsOfTheApplicationsFolderMayRunAndNothingElseChanges) {
    PackApp win = registerArchive(QStringLiteral("Win"), QString(), archiveWithoutModes(kWindowsFiles, 1));
    const QString base = settings().ExecDir + QStringLiteral("Win/");
    ScriptedChooser files;
    files.expectFile(base + QStringLiteral("sub/tool.sh"));
    QMap<QString, mode_t> before;
    driver.then([&](QDialog& d) {
        for (const auto& file : kWindowsFiles)
            before[file.first] = modeOf(base + file.first);
        control<QComboBox>(d, "txtExecCmd")->setEditText(QStringLiteral("run.sh --fast"));
        press(d, "cmd通常以外の実行");
        press(d, "cmdSubExecCmd(0)"); // through the file choice, below the top
        control<QComboBox>(d, "txtSubExecCmd(1)")->setEditText(QStringLiteral("readme.txt"));
        control<QComboBox>(d, "txtSubExecCmd(2)")->setEditText(QStringLiteral("Tool.EXE"));
        // Not confirmed yet: nothing has changed.
        EXPECT_EQ(modeOf(base + QStringLiteral("run.sh")), before[QStringLiteral("run.sh")]);
        press(d, "cmdOK");
    });
    frmEdit editor(kFolders);
    ASSERT_EQ(win.ShowConfig(editor), EditOutcome::Saved);

    for (const auto& file : kWindowsFiles) {
        const bool chosenProgram = file.first == u"run.sh" || file.first == u"sub/tool.sh";
        EXPECT_EQ(modeOf(base + file.first), before[file.first] | (chosenProgram ? S_IXUSR : 0))
            << file.first.toStdString() << " " << std::oct << before[file.first];
    }
    EXPECT_EQ(stored(QStringLiteral("Win")).ExecCmd, QStringLiteral("run.sh --fast"));
}

TEST_F(Editor, aProgramOutsideTheExecutionFolderIsNeverChanged) {
    // A shortcut entry runs a program installed elsewhere: the user's files, not ours.
    const QString elsewhere = scratch.path() + QStringLiteral("/installed/");
    writeFile(elsewhere + QStringLiteral("tool.sh"), kScript);
    const mode_t before = modeOf(elsewhere + QStringLiteral("tool.sh"));
    AppRecord record;
    record.AppName = QStringLiteral("Installed");
    record.AppDir = QStringLiteral("ROOT");
    PackApp shortcut(record);
    shortcut.SetShortCut(elsewhere);
    ScriptedChooser files;
    files.expectFile(elsewhere + QStringLiteral("tool.sh"));
    driver.then([](QDialog& d) {
        press(d, "cmdExecCmd");
        EXPECT_EQ(control<QComboBox>(d, "txtExecCmd")->currentText(), QStringLiteral("tool.sh"));
        press(d, "cmdOK");
    });
    frmEdit editor(kFolders);
    ASSERT_EQ(shortcut.ShowConfig(editor), EditOutcome::Saved);
    EXPECT_EQ(modeOf(elsewhere + QStringLiteral("tool.sh")), before);
}

} // namespace
} // namespace vadok::test

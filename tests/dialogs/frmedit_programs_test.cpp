// The programs the editor offers and the commands it lets run, for applications whose archives
// recorded no Unix modes (made on Windows or by LHA programs that keep none).
#include "editorfixture.h"

#include "catalog/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

TEST_P(ProgramsOfModelessArchives, theEditorOffersTheWindowsProgramsScriptsAndProgramsAtTheTop) {
    const Origin& c = GetParam();
    if (c.level < 0 && QStandardPaths::findExecutable(QStringLiteral("jlha")).isEmpty())
        GTEST_FAIL() << "jlha missing: scripts/setup installs jlha-utils";
    const QByteArray archive = c.level < 0 ? jlhaArchive(kWindowsFiles, scratch.path())
                                           : archiveWithoutModes(kWindowsFiles, c.level);
    PackApp win = registerArchive(QStringLiteral("Win"), QString(), archive);
    const QStringList programs = {QStringLiteral("Tool.EXE"), QStringLiteral("native"),
                                  QStringLiteral("run.sh")};
    driver.then([&programs](QDialog& d) {
        EXPECT_EQ(listed(control<QComboBox>(d, "txtExecCmd")), programs);
        // The alternative commands offer the same, once the editor runs.
        QCoreApplication::processEvents();
        EXPECT_EQ(listed(control<QComboBox>(d, "txtSubExecCmd(4)")), programs);
        press(d, "cmdCancel");
    });
    frmEdit editor(kFolders);
    EXPECT_EQ(win.ShowConfig(editor), EditOutcome::Cancelled);
    // Listing changes nothing on disk.
    EXPECT_EQ(modeOf(win.expandedFolder() + QStringLiteral("run.sh")) & 0111, 0u);
}

INSTANTIATE_TEST_SUITE_P(Archives, ProgramsOfModelessArchives,
                         ::testing::Values(Origin{"level0", 0}, Origin{"level1", 1}, Origin{"jlha", -1}),
                         [](const auto& info) { return std::string(info.param.what); });

} // namespace
} // namespace vadok::test

#pragma once

#include "support/files.h"

#include "apps/packapp.h"

#include "support/fakemainwindow.h"
#include "support/scriptedprompter.h"
#include "support/tempprogramfolder.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vadok::test {

// An application known only by its name.
inline PackApp named(const QString& name) {
    AppRecord record;
    record.AppName = name;
    return PackApp(record);
}

using FileList = QList<std::pair<QString, QByteArray>>;

// An LZH archive of files (stored, -lh0-) whose headers of this level record no Unix mode,
// as archives made on Windows and by MS-DOS LHA programs do.
QByteArray archiveWithoutModes(const FileList& files, int level);

// A program folder with a fresh data file and its Pack/, Exec/, Icon/ folders, a fake main
// window, scripted messages, the keyboard released and the clock fixed.
class AppsFixture : public ::testing::Test {
public:

protected:
    AppsFixture();
    ~AppsFixture() override;

    // Writes files below ExecDir + name, stores them as the application's archive and
    // removes the folder again: the state of a freshly registered application.
    PackApp registerApp(const QString& name, const QString& execCmd,
                        const QList<std::pair<QString, QByteArray>>& files);
    // An application whose archive holds exactly these bytes, as an archive another program
    // wrote; not expanded yet.
    PackApp registerArchive(const QString& name, const QString& execCmd, const QByteArray& archive);
    // Relative paths of every file below folder, sorted.
    static QStringList filesBelow(const QString& folder);
    // Expands the archive into a scratch folder and lists it.
    QStringList archiveFiles(const PackApp& app);

    TempProgramFolder folder;
    FakeMainWindow window;
    ScriptedPrompter prompter;
    QDateTime now = QDateTime(QDate(2026, 12, 1), QTime(9, 30));
    bool packKeyHeld = false;
    QTemporaryDir scratch;
};

} // namespace vadok::test

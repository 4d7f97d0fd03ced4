#include "appsfixture.h"

#include "apps/archivercalls.h"
#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "platform/clock.h"
#include "platform/folderusers.h"
#include "platform/keystate.h"
#include "util/folderutil.h"

#include "rawarchive.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace vadok::test {

QByteArray archiveWithoutModes(const FileList& files, int level) {
    std::vector<LzhEntry> entries;
    for (const auto& [name, bytes] : files) {
        LzhEntry entry;
        entry.name = name.toStdString();
        entry.data = bytes.toStdString();
        entry.level = level;
        entries.push_back(entry);
    }
    const std::string archive = lzhArchive(entries);
    return QByteArray(archive.data(), qsizetype(archive.size()));
}

AppsFixture::AppsFixture() {
    setClockSource([this] { return now; });
    setKeyStateSource([this](int key) { return key == kVkShift && packKeyHeld; });
    // No program of the machine works in a test's folders unless the test says so.
    setFolderUsersHook([](const QString&) { return QList<FolderUser>{}; });
    PrepareDataFile();
    settings() = Settings();
    LoadSettings();
}

AppsFixture::~AppsFixture() {
    setClockSource({});
    setKeyStateSource({});
    setFolderUsersHook({});
}

QStringList AppsFixture::filesBelow(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(folder).relativeFilePath(it.next()));
    files.sort();
    return files;
}

PackApp AppsFixture::registerApp(const QString& name, const QString& execCmd,
                                 const QList<std::pair<QString, QByteArray>>& files) {
    AppRecord record;
    record.AppName = name;
    record.AppDir = QStringLiteral("メイン");
    record.ExecCmd = execCmd;
    PackApp app(record);
    for (const auto& [relative, bytes] : files)
        writeFile(app.expandedFolder() + relative, bytes, relative.endsWith(QStringLiteral(".sh")));
    EXPECT_EQ(RunUnlha(StoreCommand(app.archivePath(), app.expandedFolder(), true)), 0);
    EXPECT_TRUE(DeleteFolder(app.expandedFolder(), nullptr, true));
    EXPECT_TRUE(app.SaveConfig());
    return app;
}

PackApp AppsFixture::registerArchive(const QString& name, const QString& execCmd,
                                     const QByteArray& archive) {
    AppRecord record;
    record.AppName = name;
    record.AppDir = QStringLiteral("メイン");
    record.ExecCmd = execCmd;
    PackApp app(record);
    writeFile(app.archivePath(), archive);
    EXPECT_TRUE(app.SaveConfig());
    return app;
}

QStringList AppsFixture::archiveFiles(const PackApp& app) {
    const QString into = scratch.path() + QStringLiteral("/check-") + app.AppName() + u'/';
    DeleteFolder(into, nullptr, true);
    EXPECT_EQ(RunUnlha(ExpandCommand(app.archivePath(), into, true)), 0);
    return filesBelow(into);
}

} // namespace vadok::test

#include "catalog/apprecords.h"
#include "catalog/backups.h"
#include "catalog/datafile.h"
#include "catalog/folderrecords.h"
#include "catalog/settings.h"
#include "catalog/subcommands.h"
#include "catalogfixture.h"

#include "platform/programfolder.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vadok::test {
namespace {

using DataFileTest = CatalogTest;

TEST_F(DataFileTest, startupWithoutDataFileWritesTemplateAndSnapshot) {
    PrepareDataFile();
    EXPECT_EQ(dataFileBytes(), dataFileTemplate());
    EXPECT_EQ(folder.readFile(QStringLiteral("vadok.xml.now")), dataFileTemplate());
    EXPECT_EQ(DataVersion(), QStringLiteral("4"));
}

TEST_F(DataFileTest, startupRefreshesAnExistingSnapshot) {
    writeDataFile(appsFile(QString()));
    folder.writeFile(QStringLiteral("vadok.xml.now"), "stale");
    PrepareDataFile();
    EXPECT_EQ(folder.readFile(QStringLiteral("vadok.xml.now")), dataFileBytes());
}

TEST_F(DataFileTest, startupThatCannotCreateTheFileSaysBdfAndTakesNoSnapshot) {
    prompter.expectPrefix(QStringLiteral("BDF\r\n"));
    const QString missing = folder.path() + QStringLiteral("missing/");
    setProgramFolder(missing);
    PrepareDataFile();
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_GT(prompter.messages()[0].text.size(), 5); // the reason follows
    EXPECT_EQ(prompter.messages()[0].buttons, MsgButtons::Ok);
    EXPECT_FALSE(QFile::exists(missing + QStringLiteral("vadok.xml.now")));
}

TEST_F(DataFileTest, versionQueryReadsZeroWithoutFileRootOrAttribute) {
    EXPECT_EQ(DataVersion(), QStringLiteral("0"));
    writeDataFile(QStringLiteral("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Vadok/>"));
    EXPECT_EQ(DataVersion(), QStringLiteral("0"));
    writeDataFile(QStringLiteral("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Vadok"));
    EXPECT_EQ(DataVersion(), QStringLiteral("0"));
}

TEST_F(DataFileTest, versionThreeFileIsMigratedAtStartup) {
    writeDataFile(
        QStringLiteral("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Vadok dataversion=\"3\">"
                       "<Folders><Folder Name=\"ツール\" Parent=\"ROOT\" Order=\"1\"/>"
                       "<Folder Name=\"Games\" Parent=\"ツール\" Order=\"2\"/></Folders>"
                       "<Apps><App><Name>Editor</Name><Fol>ツール</Fol></App>"
                       "<App><Name>Tetris</Name><Fol>Games</Fol></App>"
                       "<App><Name>Orphan</Name><Fol>Nowhere</Fol></App>"
                       "<App><Name>Grep</Name><Fol>ツール</Fol></App></Apps></Vadok>"));
    PrepareDataFile();

    auto doc = reload();
    EXPECT_EQ(doc->documentElement().attribute(QStringLiteral("dataversion")), QStringLiteral("4"));
    const QList<XmlElement> folders = doc->select(QStringLiteral("/Vadok/Folders/Folder"));
    ASSERT_EQ(folders.size(), 3);
    const XmlElement root = folders.last();
    EXPECT_EQ(root.attribute(QStringLiteral("Name")), QStringLiteral("ROOT"));
    EXPECT_TRUE(root.hasAttribute(QStringLiteral("Parent")));
    EXPECT_EQ(root.attribute(QStringLiteral("Parent")), QString());
    EXPECT_EQ(root.attribute(QStringLiteral("Order")), QStringLiteral("0"));
    auto items = [](const XmlElement& f) {
        QStringList names;
        for (const XmlElement& item : f.children(QStringLiteral("AppItem")))
            names << item.text();
        return names;
    };
    EXPECT_EQ(items(folders[0]), (QStringList{QStringLiteral("Editor"), QStringLiteral("Grep")}));
    EXPECT_EQ(items(folders[1]), QStringList{QStringLiteral("Tetris")});
    EXPECT_TRUE(items(root).isEmpty());
    EXPECT_EQ(folder.readFile(QStringLiteral("vadok.xml.now")), dataFileBytes());
}

struct RotationCase {
    const char* name;
    bool sizeChanged;
    QStringList present; // generations before the rotation: "old", "older", "oldest"
    // Expected content of each generation afterwards ("" = absent).
    QString old, older, oldest;
};

class RotationTest : public CatalogTest, public ::testing::WithParamInterface<RotationCase> {};

TEST_P(RotationTest, generationsMoveOnlyWhenTheSizeChanged) {
    const RotationCase& c = GetParam();
    folder.writeFile(QStringLiteral("vadok.xml.now"), "snapshot");
    folder.writeFile(QStringLiteral("vadok.xml"), c.sizeChanged ? "changed data" : "snapshoT");
    for (const QString& generation : c.present)
        folder.writeFile(QStringLiteral("vadok.xml.") + generation, generation.toUtf8());
    RotateBackups();
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("vadok.xml.now"))));
    EXPECT_EQ(QString::fromUtf8(folder.readFile(QStringLiteral("vadok.xml.old"))), c.old);
    EXPECT_EQ(QString::fromUtf8(folder.readFile(QStringLiteral("vadok.xml.older"))), c.older);
    EXPECT_EQ(QString::fromUtf8(folder.readFile(QStringLiteral("vadok.xml.oldest"))), c.oldest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RotationTest,
    ::testing::Values(
        RotationCase{"first_change", true, {}, "snapshot", "", ""},
        RotationCase{"old_only", true, {"old"}, "snapshot", "old", ""},
        RotationCase{"old_and_older", true, {"old", "older"}, "snapshot", "old", "older"},
        RotationCase{"all_three", true, {"old", "older", "oldest"}, "snapshot", "old", "older"},
        RotationCase{"older_without_old", true, {"older"}, "snapshot", "older", "older"},
        RotationCase{
            "same_size_keeps_all", false, {"old", "older", "oldest"}, "old", "older", "oldest"},
        RotationCase{"same_size_nothing_yet", false, {}, "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A generation that cannot be written (here: a folder holds its name) stops the rotation
// before anything moves past it; the snapshot stays for the next run.
TEST_F(DataFileTest, aRotationThatCannotWriteAGenerationLosesNoneAndKeepsTheSnapshot) {
    const struct {
        const char* blocked;
        const char* reported;
        const char* oldest; // after the failed rotation
    } rows[] = {{"oldest", "vadok.xml.oldest", nullptr}, {"old", "vadok.xml.older", "older"}};
    for (const auto& row : rows) {
        folder.writeFile(QStringLiteral("vadok.xml.now"), "snapshot");
        folder.writeFile(QStringLiteral("vadok.xml"), "changed data");
        for (const char* generation : {"old", "older", "oldest"}) {
            const QString name = QStringLiteral("vadok.xml.") + QLatin1String(generation);
            QDir(folder.file(name)).removeRecursively();
            QFile::remove(folder.file(name));
            if (qstrcmp(generation, row.blocked) == 0)
                ASSERT_TRUE(QDir().mkpath(folder.file(name + QStringLiteral("/inside"))));
            else
                folder.writeFile(name, generation);
        }
        QString failed;
        EXPECT_FALSE(RotateBackups(&failed)) << row.blocked;
        EXPECT_EQ(failed, QLatin1String(row.reported));
        EXPECT_EQ(folder.readFile(QStringLiteral("vadok.xml.older")), QByteArray("older"));
        EXPECT_EQ(folder.readFile(QStringLiteral("vadok.xml.now")), QByteArray("snapshot"));
        if (row.oldest)
            EXPECT_EQ(folder.readFile(QStringLiteral("vadok.xml.oldest")), QByteArray(row.oldest));
        else
            EXPECT_EQ(folder.readFile(QStringLiteral("vadok.xml.old")), QByteArray("old"));
    }
}

TEST_F(DataFileTest, rotationWithoutSnapshotDoesNothing) {
    folder.writeFile(QStringLiteral("vadok.xml"), "data");
    folder.writeFile(QStringLiteral("vadok.xml.old"), "old");
    RotateBackups();
    EXPECT_EQ(folder.readFile(QStringLiteral("vadok.xml.old")), QByteArray("old"));
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("vadok.xml.older"))));
}

// Every edit on a file that did not load must report and leave the user's bytes alone;
// saving the empty document would replace the catalog with nothing.
TEST_F(DataFileTest, editsOnADamagedFileReportAndLeaveItUntouched) {
    const QByteArray full = Cp932Codec::instance().fromUnicode(
        appsFile(QStringLiteral("<App><Name>A</Name><Fol>メイン</Fol></App>"),
                 QStringLiteral("<Folder Name=\"メイン\" Parent=\"ROOT\"/>")));
    QByteArray invalid = full;
    invalid.replace("<Name>A", "<Name>\x85\x20");
    for (const QByteArray& damaged : {full.left(full.size() - 20), invalid}) {
        folder.writeFile(QStringLiteral("vadok.xml"), damaged);
        AppRecord app;
        app.AppName = QStringLiteral("A");
        const std::function<bool()> edits[] = {
            [&] { return SaveAppRecord(app); },
            [&] { return DeleteAppRecord(app); },
            [&] { return SaveSubCommands(app, {QStringLiteral("x")}); },
            [&] { return RenameFolder(QStringLiteral("メイン"), QString(), QStringLiteral("B")); },
            [&] { return AddFolder(QStringLiteral("New"), QStringLiteral("ROOT")); },
            [&] { return SaveSettings(); },
            [&] { return MigrateToVersion4(); },
        };
        for (const auto& edit : edits) {
            prompter.expectPrefix(QStringLiteral("vadok.xml を読み込めません（"));
            EXPECT_FALSE(edit());
            EXPECT_TRUE(prompter.allAnswered());
            EXPECT_EQ(dataFileBytes(), damaged);
            EXPECT_EQ(prompter.messages().last().icon, MsgIcon::Exclamation);
        }
        AppRecord found;
        EXPECT_FALSE(FindAppByName(QStringLiteral("A"), found));
        EXPECT_EQ(dataFileBytes(), damaged);
    }
}

TEST_F(DataFileTest, saveThroughASymbolicLinkReplacesTheTargetAndKeepsTheLink) {
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("synced")));
    const QString target = folder.file(QStringLiteral("synced/vadok.xml"));
    folder.writeFile(QStringLiteral("synced/vadok.xml"),
                     Cp932Codec::instance().fromUnicode(appsFile(QString())));
    ASSERT_TRUE(QFile::link(target, dataFilePath()));
    AppRecord app;
    app.AppName = QStringLiteral("A");
    ASSERT_TRUE(SaveAppRecord(app));
    EXPECT_TRUE(QFileInfo(dataFilePath()).isSymLink());
    AppRecord read;
    EXPECT_TRUE(FindAppByName(QStringLiteral("A"), read));
}

// A pid that no process has any more: a child that has already exited.
qint64 deadPid() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST_F(DataFileTest, saveRemovesTemporariesOfKilledWritersAndNothingElse) {
    writeDataFile(appsFile(QString()));
    const QString dead = QStringLiteral(".vadok.xml.%1.aB3dE9").arg(deadPid());
    const QString live = QStringLiteral(".vadok.xml.%1.Zz0yY1").arg(qint64(::getpid()));
    const QStringList kept = {live, QStringLiteral(".vadok.xml.Qw12Er"),
                              QStringLiteral(".other.xml.1.aB3dE9"), QStringLiteral("vadok.xml.old")};
    folder.writeFile(dead, "half a file");
    for (const QString& name : kept)
        folder.writeFile(name, "not ours to remove");
    AppRecord app;
    app.AppName = QStringLiteral("A");
    ASSERT_TRUE(SaveAppRecord(app));
    EXPECT_FALSE(QFileInfo::exists(folder.file(dead)));
    for (const QString& name : kept)
        EXPECT_TRUE(QFileInfo::exists(folder.file(name))) << name.toStdString();
}

// Writes past a size limit fail with EFBIG part way through, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST_F(DataFileTest, saveThatFailsHalfWayLeavesTheOldFileWhole) {
    writeDataFile(appsFile(QStringLiteral("<App><Name>Keep</Name><Fol>ROOT</Fol></App>")));
    const QByteArray before = dataFileBytes();
    AppRecord app;
    app.AppName = QStringLiteral("Big");
    app.Info = QString(4000, u'x');
    prompter.expectPrefix(dataFilePath() + QStringLiteral(" を保存できません: "));
    {
        FileSizeLimit limit(before.size() + 100);
        EXPECT_FALSE(SaveAppRecord(app));
    }
    EXPECT_EQ(dataFileBytes(), before);
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(prompter.messages()[0].icon, MsgIcon::Exclamation);
    // No temporary file is left behind either.
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("vadok.xml")});
}

} // namespace
} // namespace vadok::test

#include "mainwindowfixture.h"

#include "rawarchive.h"

#include "apps/archivercalls.h"
#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "util/folderutil.h"

#include "support/modaldriver.h"

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace vadok::test {
namespace {

const QString kDone = QStringLiteral("[Tool]をバージョンアップしました。");
const QString kNotFound = QStringLiteral("一致するexeファイルが見つかりませんでした。");

QString deleteSource(const QString& path) {
    return QStringLiteral("バージョンアップ元のファイル\r\n\r\n") + path +
           QStringLiteral("\r\n\r\nを削除してよろしいですか？");
}


// The picker: the application called name, then OK.
void pick(QDialog& picker, const QString& name) {
    auto* tree = control<QTreeWidget>(picker, "TreeView");
    const QList<QTreeWidgetItem*> found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    tree->setCurrentItem(found.first());
    press(picker, "cmdOK");
}

enum class Delivery { Zip, Lzh, Folder };

// Tool, stored with its program, the user's settings and a manual, beside Other; the window
// is open. A new version of Tool can be delivered in each of the three forms.
class VersionUp : public MainWindowFixture {
protected:
    VersionUp() {
        qputenv("XDG_DATA_HOME", scratch.path().toUtf8());
        writeFolders({{QStringLiteral("ROOT"), QStringLiteral("ROOT"), {}},
                      {QStringLiteral("メイン"), QStringLiteral("ROOT"),
                       {QStringLiteral("Tool"), QStringLiteral("Other")}}});
        storeArchive(QStringLiteral("Tool"), {{QStringLiteral("tool.exe"), "old"},
                                              {QStringLiteral("settings.ini"), "mine"},
                                              {QStringLiteral("doc/manual.txt"), "manual"}});
        appendRecord(record(QStringLiteral("Tool"), QStringLiteral("メイン"), QStringLiteral("tool.exe")));
        storeArchive(QStringLiteral("Other"), {{QStringLiteral("other.exe"), "other"}});
        appendRecord(record(QStringLiteral("Other"), QStringLiteral("メイン"), QStringLiteral("other.exe")));
        toolArchive = readFile(archiveOf(QStringLiteral("Tool")));
        otherArchive = readFile(archiveOf(QStringLiteral("Other")));
    }
    ~VersionUp() override { qunsetenv("XDG_DATA_HOME"); }

    // Writes files (paths relative to the new version's top) as delivery; the path dropped.
    QString deliver(Delivery delivery, const Files& files) {
        const QString folder = scratch.path() + QStringLiteral("/new");
        for (const auto& [relative, bytes] : files)
            writeFile(folder + u'/' + relative, bytes);
        switch (delivery) {
        case Delivery::Folder:
            return folder;
        case Delivery::Lzh: {
            const QString archive = scratch.path() + QStringLiteral("/Tool-2.lzh");
            EXPECT_EQ(RunUnlha(StoreCommand(archive, folder + u'/', true)), 0);
            return archive;
        }
        case Delivery::Zip: {
            const QString archive = scratch.path() + QStringLiteral("/Tool-2.zip");
            std::vector<RawMember> members;
            for (const auto& [relative, bytes] : files)
                members.push_back({relative.toStdString(), bytes.toStdString(), {}, false});
            writeRawZip(archive.toStdString(), members);
            return archive;
        }
        }
        return QString();
    }

    QStringList trashed() const {
        return QDir(scratch.path() + QStringLiteral("/Trash/files"))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    // Tool's files that only the new version holds are nowhere in the execution folder.
    void expectNothingOfTheNewVersion() {
        EXPECT_FALSE(QFileInfo::exists(execDir() + QStringLiteral("Tool/readme.txt")));
        EXPECT_FALSE(QFileInfo::exists(WorkFolder()));
        EXPECT_NE(readFile(execDir() + QStringLiteral("Tool/tool.exe")), "new");
    }

    ModalDriver driver;
    std::unique_ptr<frmMain> window;
    QByteArray toolArchive;
    QByteArray otherArchive;
};

const Files kOneTopFolder = {{QStringLiteral("Tool-2/tool.exe"), "new"},
                             {QStringLiteral("Tool-2/readme.txt"), "read me"},
                             {QStringLiteral("Tool-2/plugins/p.dll"), "plugin"}};

class Deliveries : public VersionUp, public ::testing::WithParamInterface<Delivery> {};

TEST_P(Deliveries, theProgramsFolderReplacesTheApplicationsFilesWhichIsStoredAgain) {
    window = openWindow();
    const QString dropped = deliver(GetParam(), kOneTopFolder);
    prompter.expect(kDone).expect(deleteSource(dropped), MsgAnswer::Yes);
    driver.then([](QDialog& d) {
              press(d, "cmdVerUp");
              EXPECT_FALSE(d.isVisible());
          })
        .then([](QDialog& picker) { pick(picker, QStringLiteral("Tool")); })
        .then([this](QDialog& editor) {
            // The editor sees the new version, expanded.
            EXPECT_EQ(readFile(execDir() + QStringLiteral("Tool/tool.exe")), "new");
            press(editor, "cmdOK");
        });
    window->showDropDialog(dropped);

    EXPECT_EQ(archiveContents(QStringLiteral("Tool")),
              (Files{{QStringLiteral("tool.exe"), "new"},
                     {QStringLiteral("readme.txt"), "read me"},
                     {QStringLiteral("settings.ini"), "mine"},
                     {QStringLiteral("doc/manual.txt"), "manual"}}));
    EXPECT_FALSE(QFileInfo::exists(execDir() + QStringLiteral("Tool")));
    EXPECT_FALSE(QFileInfo::exists(WorkFolder()));
    EXPECT_FALSE(QFileInfo::exists(dropped));
    // A dropped folder goes to the trash; the work folder, the launcher's own, never does.
    EXPECT_EQ(trashed(), GetParam() == Delivery::Folder ? QStringList{QStringLiteral("new")} : QStringList());
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Other"))), otherArchive);
    EXPECT_EQ(filesBesideArchives(packDir()),
              (QStringList{QStringLiteral("Other.lzh"), QStringLiteral("Tool.lzh")}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, Deliveries,
                         ::testing::Values(Delivery::Zip, Delivery::Lzh, Delivery::Folder));

TEST_F(VersionUp, twoTopFoldersHoldNoMatchAndTheDialogOffersBothWaysAgain) {
    window = openWindow();
    const QString dropped = deliver(Delivery::Zip, {{QStringLiteral("a/tool.exe"), "new"},
                                                    {QStringLiteral("b/readme.txt"), "r"}});
    const QByteArray data = readFile(dataFilePath());
    prompter.expect(kNotFound);
    driver.then([](QDialog& d) {
              press(d, "cmdVerUp");
              EXPECT_TRUE(d.isVisible());
              EXPECT_TRUE(enabled(d, "cmdVerUp"));
              EXPECT_TRUE(enabled(d, "cmdNew"));
              EXPECT_EQ(control<QLabel>(d, "Label")->text(),
                        QStringLiteral("バージョンアップを中止しました。"));
              EXPECT_FALSE(QFileInfo::exists(WorkFolder()));
              press(d, "cmdCancel");
          })
        .then([](QDialog& picker) { pick(picker, QStringLiteral("Tool")); });
    window->showDropDialog(dropped);

    EXPECT_EQ(prompter.messages().value(0).icon, MsgIcon::Exclamation);
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Tool"))), toolArchive);
    EXPECT_EQ(readFile(dataFilePath()), data);
    EXPECT_EQ(readFile(execDir() + QStringLiteral("Tool/tool.exe")), "old");
    EXPECT_TRUE(QFileInfo::exists(dropped));
}

// A tool that keeps its program in a folder of its own: the program is found at its own
// path in the new version, and the files of its folder are replaced.
TEST_F(VersionUp, aProgramBelowTheTopIsReplacedAtItsOwnPath) {
    QFile::remove(archiveOf(QStringLiteral("Tool")));
    storeArchive(QStringLiteral("Tool"), {{QStringLiteral("ziptool/bin/hello.sh"), "1"},
                                          {QStringLiteral("ziptool/bin/settings.ini"), "mine"},
                                          {QStringLiteral("ziptool/README"), "old readme"}});
    AppRecord tool =
        record(QStringLiteral("Tool"), QStringLiteral("メイン"), QStringLiteral("ziptool/bin/hello.sh"));
    ASSERT_TRUE(SaveAppRecord(tool));
    window = openWindow();
    const QString dropped = deliver(Delivery::Zip, {{QStringLiteral("ziptool/bin/hello.sh"), "2"},
                                                    {QStringLiteral("ziptool/README"), "new"}});
    prompter.expect(kDone).expect(deleteSource(dropped), MsgAnswer::No);
    driver
        .then([](QDialog& d) {
            press(d, "cmdVerUp");
            // Done, the dialog has closed; stopped, it is left to the user.
            EXPECT_FALSE(d.isVisible());
            if (d.isVisible())
                press(d, "cmdCancel");
        })
        .then([](QDialog& picker) { pick(picker, QStringLiteral("Tool")); })
        .then([](QDialog& editor) { press(editor, "cmdOK"); });
    window->showDropDialog(dropped);

    EXPECT_EQ(archiveContents(QStringLiteral("Tool")),
              (Files{{QStringLiteral("ziptool/bin/hello.sh"), "2"},
                     {QStringLiteral("ziptool/bin/settings.ini"), "mine"},
                     {QStringLiteral("ziptool/README"), "old readme"}}));
}

TEST_F(VersionUp, aFailedStoreKeepsTheOldArchiveAndTheNewVersionExpanded) {
    window = openWindow();
    const QString dropped = deliver(Delivery::Folder, kOneTopFolder);
    const QString expanded = execDir() + QStringLiteral("Tool");
    prompter.expectPrefix(QStringLiteral("圧縮に失敗しました。Error Code:0x"));
    driver.then([](QDialog& d) {
              press(d, "cmdVerUp");
              EXPECT_TRUE(d.isVisible());
              press(d, "cmdCancel");
          })
        .then([](QDialog& picker) { pick(picker, QStringLiteral("Tool")); })
        .then([&](QDialog& editor) {
            // The new version is in place; a file no archive can hold fails the store.
            writeUnstorableFile(expanded);
            press(editor, "cmdOK");
        });
    window->showDropDialog(dropped);

    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Tool"))), toolArchive);
    EXPECT_EQ(filesBesideArchives(packDir()),
              (QStringList{QStringLiteral("Other.lzh"), QStringLiteral("Tool.lzh")}));
    EXPECT_EQ(readFile(execDir() + QStringLiteral("Tool/tool.exe")), "new");
    EXPECT_TRUE(QFileInfo::exists(dropped));
    removeUnstorableFile(expanded);
}

TEST_F(VersionUp, aCancelledPickerOffersBothWaysAgainWithTheWorkFolderGone) {
    writeFile(WorkFolder() + QStringLiteral("/leftover.txt"), "old work");
    window = openWindow();
    const QString dropped = deliver(Delivery::Zip, kOneTopFolder);
    driver.then([](QDialog& d) {
              press(d, "cmdVerUp");
              EXPECT_TRUE(enabled(d, "cmdVerUp"));
              EXPECT_TRUE(enabled(d, "cmdNew"));
              EXPECT_EQ(control<QLabel>(d, "Label")->text(), QStringLiteral("キャンセルされました"));
              press(d, "cmdCancel");
          })
        .then([](QDialog& picker) { press(picker, "cmdCancel"); });
    window->showDropDialog(dropped);
    EXPECT_FALSE(QFileInfo::exists(WorkFolder()));
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Tool"))), toolArchive);
}

TEST_F(VersionUp, aShortcutEntryIsRefusedBeforeAnythingIsPutAnywhere) {
    AppRecord gadget = record(QStringLiteral("Gadget"), QStringLiteral("メイン"), QStringLiteral("tool.exe"));
    gadget.ShortCut = true;
    gadget.OverRideBasePath = scratch.path() + QStringLiteral("/installed/");
    appendRecord(gadget);
    writeFolders({{QStringLiteral("ROOT"), QStringLiteral("ROOT"), {}},
                  {QStringLiteral("メイン"), QStringLiteral("ROOT"),
                   {QStringLiteral("Tool"), QStringLiteral("Other"), QStringLiteral("Gadget")}}});
    window = openWindow();
    const QString dropped = deliver(Delivery::Zip, kOneTopFolder);
    const QByteArray data = readFile(dataFilePath());
    prompter.expect(QStringLiteral("[Gadget]はショートカットとして登録されているため、バージョンアップできません。"));
    driver.then([](QDialog& d) {
              press(d, "cmdVerUp");
              EXPECT_TRUE(d.isVisible());
              press(d, "cmdCancel");
          })
        .then([](QDialog& picker) { pick(picker, QStringLiteral("Gadget")); });
    window->showDropDialog(dropped);

    EXPECT_EQ(prompter.messages().value(0).icon, MsgIcon::Exclamation);
    EXPECT_FALSE(QFileInfo::exists(execDir() + QStringLiteral("Gadget")));
    EXPECT_FALSE(QFileInfo::exists(WorkFolder()));
    EXPECT_EQ(readFile(dataFilePath()), data);
    EXPECT_TRUE(QFileInfo::exists(dropped));
}

// A damaged archive, either the application's own or the dropped new version: the version-up
// stops with the damage named, before any file of the new version is put anywhere.
class DamagedArchive : public VersionUp, public ::testing::WithParamInterface<bool> {};

TEST_P(DamagedArchive, stopsTheVersionUpBeforeAnythingIsCopied) {
    const bool own = GetParam();
    if (own) {
        storeArchive(QStringLiteral("Tool"), {{QStringLiteral("tool.exe"), "old"},
                                              {QStringLiteral("data.bin"), noise(60000, 3)}});
        flipMiddleByte(archiveOf(QStringLiteral("Tool")));
        toolArchive = readFile(archiveOf(QStringLiteral("Tool")));
    }
    window = openWindow();
    QString dropped = deliver(Delivery::Lzh, kOneTopFolder);
    if (!own) {
        writeFile(scratch.path() + QStringLiteral("/big/Tool-2/data.bin"), noise(60000, 4));
        dropped = scratch.path() + QStringLiteral("/Tool-3.lzh");
        ASSERT_EQ(RunUnlha(StoreCommand(dropped, scratch.path() + QStringLiteral("/big/"), true)), 0);
        flipMiddleByte(dropped);
    }
    prompter.expectPrefix(QStringLiteral("解凍に失敗しました。Error Code:0x"));
    driver.then([](QDialog& d) {
              press(d, "cmdVerUp");
              EXPECT_TRUE(d.isVisible());
              press(d, "cmdCancel");
          })
        .then([](QDialog& picker) { pick(picker, QStringLiteral("Tool")); });
    window->showDropDialog(dropped);

    if (!own) {
        EXPECT_TRUE(prompter.messages().value(0).text.contains(QStringLiteral("data.bin")));
    }
    expectNothingOfTheNewVersion();
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Tool"))), toolArchive);
    EXPECT_TRUE(QFileInfo::exists(dropped));
    EXPECT_TRUE(trashed().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(OwnOrDropped, DamagedArchive, ::testing::Bool());

// The expanded copy holds the user's latest settings, and the new name given in the editor
// takes the new version along.
TEST_F(VersionUp, anExpandedApplicationKeepsItsChangesAndANewNameKeepsTheNewVersion) {
    expand(QStringLiteral("Tool"), {{QStringLiteral("tool.exe"), "old"},
                                    {QStringLiteral("settings.ini"), "changed since stored"},
                                    {QStringLiteral("doc/manual.txt"), "manual"}});
    window = openWindow();
    const QString dropped = deliver(Delivery::Folder, kOneTopFolder);
    prompter.expect(QStringLiteral("[Tool 2]をバージョンアップしました。"))
        .expect(deleteSource(dropped), MsgAnswer::No);
    driver.then([](QDialog& d) { press(d, "cmdVerUp"); })
        .then([](QDialog& picker) { pick(picker, QStringLiteral("Tool")); })
        .then([](QDialog& editor) {
            control<QLineEdit>(editor, "txtName")->setText(QStringLiteral("Tool 2"));
            press(editor, "cmdOK");
        });
    window->showDropDialog(dropped);

    EXPECT_FALSE(QFileInfo::exists(archiveOf(QStringLiteral("Tool"))));
    EXPECT_EQ(archiveContents(QStringLiteral("Tool 2")),
              (Files{{QStringLiteral("tool.exe"), "new"},
                     {QStringLiteral("readme.txt"), "read me"},
                     {QStringLiteral("settings.ini"), "changed since stored"},
                     {QStringLiteral("doc/manual.txt"), "manual"}}));
    EXPECT_NE(node(*window, QStringLiteral("Tool 2")), nullptr);
    EXPECT_TRUE(QFileInfo::exists(dropped));
}

} // namespace
} // namespace vadok::test

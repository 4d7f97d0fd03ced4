#include "mainwindowfixture.h"

#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/datafilecache.h"
#include "catalog/settings.h"
#include "catalog/valueconv.h"
#include "catalog/xmldocument.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/treeediting.h"
#include "platform/programfolder.h"
#include "support/trashhome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

namespace vadok::test {
namespace {

// Two machines share one program folder through a sync engine. This one is the fixture's
// folder; the other's data file is written here by hand, as the engine would deliver it.
class SyncConflicts : public MainWindowFixture {
protected:
    SyncConflicts() {
        writeFolders({{QStringLiteral("ROOT"), QStringLiteral("ROOT"), {}},
                      {QStringLiteral("メイン"),
                       QStringLiteral("ROOT"),
                       {QStringLiteral("Tool"), QStringLiteral("Keep")}},
                      {QStringLiteral("Sub"), QStringLiteral("ROOT"), {}}});
        appendRecord(
            record(QStringLiteral("Tool"), QStringLiteral("メイン"), QStringLiteral("tool.sh")));
        appendRecord(
            record(QStringLiteral("Keep"), QStringLiteral("メイン"), QStringLiteral("keep.sh")));
        // Both machines started from this version.
        XmlDocument doc;
        EXPECT_TRUE(doc.load(dataFilePath()));
        XmlElement config = doc.documentElement().appendChild(QStringLiteral("Config"));
        config.setAttribute(QStringLiteral("PackDate"), QStringLiteral("5"));
        config.setAttribute(QStringLiteral("LhaDialog"), QStringLiteral("1"));
        EXPECT_TRUE(doc.save(dataFilePath()));
        common = folder.readFile(QStringLiteral("vadok.xml"));
    }

    // The data file as the other machine wrote it: Keep's notes, Tool's command and a new
    // application New, second in メイン.
    QByteArray otherMachinesVersion(const QString& toolCommand) const {
        XmlDocument doc;
        EXPECT_TRUE(doc.loadBytes(common));
        findAppElement(doc, QStringLiteral("Keep"))
            .firstChild(QStringLiteral("Text"))
            .firstChild(QStringLiteral("Line"))
            .setText(QStringLiteral("別のマシンのメモ"));
        findAppElement(doc, QStringLiteral("Tool"))
            .firstChild(QStringLiteral("Exec"))
            .setText(toolCommand);
        XmlElement added = doc.documentElement()
                               .firstChild(QStringLiteral("Apps"))
                               .appendCopy(findAppElement(doc, QStringLiteral("Keep")));
        added.firstChild(QStringLiteral("Name")).setText(QStringLiteral("New"));
        for (XmlElement f : doc.select(QStringLiteral("//Folder[@Name='メイン']"))) {
            f.removeChildren();
            for (const char* item : {"Tool", "New", "Keep"})
                f.appendChild(QStringLiteral("AppItem")).setText(QString::fromUtf8(item));
        }
        bool ok = false;
        const QByteArray bytes = doc.toBytes(&ok);
        EXPECT_TRUE(ok);
        return bytes;
    }

    // A new version arriving the way sync engines deliver files: written aside, then renamed.
    static void deliver(const QString& path, const QByteArray& bytes) {
        QFile file(path + QStringLiteral(".partial"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        QFile::remove(path);
        ASSERT_TRUE(QFile::rename(file.fileName(), path));
    }

    static QString stored(const QString& app, const char* field) {
        XmlDocument doc;
        EXPECT_TRUE(doc.load(dataFilePath()));
        return findAppElement(doc, app).firstChild(QLatin1String(field)).text();
    }

    void tick() { QMetaObject::invokeMethod(window.get(), "GCTimer_Timer", Qt::DirectConnection); }

    TrashHome trash;
    std::unique_ptr<frmMain> window;
    QByteArray common;
};

const QString kRanThere = QStringLiteral("2026/12/09 10:10:10");

// A start as the program makes it: the data file prepared, the settings read, the window
// shown and its first tick run.
class SyncStart : public SyncConflicts {
protected:
    static constexpr const char* kOtherMachine = "0123456789abcdef0123456789abcdef";
    using Edit = std::function<void(XmlDocument&)>;

    void startHere() {
        PrepareDataFile();
        LoadSettings();
        window = openWindow();
    }

    // Another machine's version of the data file as it reached this folder.
    static void writeAsOtherMachine(const QString& path, const QByteArray& start, const Edit& edit) {
        XmlDocument doc;
        ASSERT_TRUE(doc.loadBytes(start));
        edit(doc);
        doc.documentElement().setAttribute(QStringLiteral("savedOn"), QLatin1String(kOtherMachine));
        bool ok = false;
        const QByteArray bytes = doc.toBytes(&ok);
        ASSERT_TRUE(ok);
        deliver(path, bytes);
    }

    // The data file in a line: the folders as "Name<Parent:apps", then the applications as
    // "Name=command|notes", then the settings that differ from the common version's.
    static QString summary() {
        XmlDocument doc;
        EXPECT_TRUE(doc.load(dataFilePath()));
        QStringList parts;
        for (const XmlElement& f : doc.select(QStringLiteral("//Folder[@Name!='ROOT']"))) {
            QStringList items;
            for (const XmlElement& item : f.children())
                items << item.text();
            parts << f.attribute(QStringLiteral("Name")) + u'<' +
                         f.attribute(QStringLiteral("Parent")) + u':' + items.join(u',');
        }
        for (const XmlElement& a : doc.select(QStringLiteral("//App"))) {
            QString app = a.firstChild(QStringLiteral("Name")).text() + u'=' +
                          a.firstChild(QStringLiteral("Exec")).text();
            const QString notes = a.firstChild(QStringLiteral("Text")).text();
            if (!notes.isEmpty())
                app += u'|' + notes;
            parts << app;
        }
        if (const XmlElement keep = findAppElement(doc, QStringLiteral("Keep"));
            keep.firstChild(QStringLiteral("Date")).text() == kRanThere)
            parts << QStringLiteral("Keep ran there");
        const XmlElement config = doc.selectFirst(QStringLiteral("/Vadok/Config"));
        if (!config.hasAttribute(QStringLiteral("LhaDialog")))
            parts << QStringLiteral("no LhaDialog");
        return parts.join(u' ');
    }
};

void setCommand(XmlDocument& doc, const char* app, const char* command) {
    findAppElement(doc, QLatin1String(app)).firstChild(QStringLiteral("Exec")).setText(QLatin1String(command));
}
void setNotes(XmlDocument& doc, const char* app, const char* notes) {
    findAppElement(doc, QLatin1String(app)).firstChild(QStringLiteral("Text")).firstChild(
        QStringLiteral("Line")).setText(QLatin1String(notes));
}
void ran(XmlDocument& doc, const char* app) {
    findAppElement(doc, QLatin1String(app)).firstChild(QStringLiteral("Date")).setText(kRanThere);
}
void deleteApp(XmlDocument& doc, const char* app) {
    findAppElement(doc, QLatin1String(app)).remove();
    for (XmlElement item : doc.select(QStringLiteral("//AppItem[.='%1']").arg(QLatin1String(app))))
        item.remove();
}
void addNew(XmlDocument& doc) {
    XmlElement added = doc.documentElement()
                           .firstChild(QStringLiteral("Apps"))
                           .appendCopy(findAppElement(doc, QStringLiteral("Keep")));
    added.firstChild(QStringLiteral("Name")).setText(QStringLiteral("New"));
    doc.selectFirst(QStringLiteral("//Folder[@Name='Sub']"))
        .appendChild(QStringLiteral("AppItem"))
        .setText(QStringLiteral("New"));
}

TEST_F(SyncStart, mergesTheOtherMachinesCopyAgainstTheLastVersionBothHad) {
    const QString merged = QStringLiteral("同期の競合を統合しました");
    const QString clashes = QStringLiteral("同期の競合を統合しました。\r\n次の項目は両方のマシンで別々に"
                                           "変更されていたため、データファイルの値を残しました。\r\n\r\n");
    const auto nothing = [](XmlDocument&) {};
    struct Row {
        const char* behaviour;
        Edit here, there;
        const char* file; // as summary() gives it after the start
        QString told;     // the message box, if any
        QString note;     // status panel 1 once the tree is shown
        bool commonVersionKnown = true;
    };
    const Row rows[] = {
        {"added here only", addNew, nothing,
         "メイン<ROOT:Tool,Keep Sub<ROOT:New Tool=tool.sh Keep=keep.sh New=keep.sh", {}, merged},
        {"added there only", nothing, addNew,
         "メイン<ROOT:Tool,Keep Sub<ROOT:New Tool=tool.sh Keep=keep.sh New=keep.sh", {},
         merged + QStringLiteral(": New")},
        {"changed here only", [](XmlDocument& d) { setCommand(d, "Tool", "ours.sh"); }, nothing,
         "メイン<ROOT:Tool,Keep Sub<ROOT: Tool=ours.sh Keep=keep.sh", {}, merged},
        {"changed there only: run and changed", nothing,
         [](XmlDocument& d) { setCommand(d, "Tool", "theirs.sh"); ran(d, "Keep"); },
         "メイン<ROOT:Tool,Keep Sub<ROOT: Tool=theirs.sh Keep=keep.sh Keep ran there", {},
         merged + QStringLiteral(": Tool、Keep")},
        {"changed both ways", [](XmlDocument& d) { setCommand(d, "Tool", "ours.sh"); },
         [](XmlDocument& d) { setCommand(d, "Tool", "theirs.sh"); },
         "メイン<ROOT:Tool,Keep Sub<ROOT: Tool=ours.sh Keep=keep.sh",
         clashes + QStringLiteral("・Tool の「実行コマンド」"), merged},
        {"deleted there and changed here", [](XmlDocument& d) { setNotes(d, "Keep", "edited"); },
         [](XmlDocument& d) { deleteApp(d, "Keep"); },
         "メイン<ROOT:Tool,Keep Sub<ROOT: Tool=tool.sh Keep=keep.sh|edited",
         QStringLiteral("同期の競合を統合しました。\r\n・Keep は他のマシンで削除されましたが、"
                        "このマシンで変更されていたため残しました"),
         merged},
        {"deleted there and untouched here", nothing, [](XmlDocument& d) { deleteApp(d, "Keep"); },
         "メイン<ROOT:Tool Sub<ROOT: Tool=tool.sh", {},
         merged + QStringLiteral("（他のマシンで削除: Keep）")},
        {"deleted both", [](XmlDocument& d) { deleteApp(d, "Keep"); },
         [](XmlDocument& d) { deleteApp(d, "Keep"); }, "メイン<ROOT:Tool Sub<ROOT: Tool=tool.sh", {},
         merged},
        {"moved folder", nothing,
         [](XmlDocument& d) {
             d.selectFirst(QStringLiteral("//Folder[@Name='Sub']"))
                 .setAttribute(QStringLiteral("Parent"), QStringLiteral("メイン"));
         },
         "メイン<ROOT:Tool,Keep Sub<メイン: Tool=tool.sh Keep=keep.sh", {},
         merged + QStringLiteral(": Sub")},
        {"setting deleted there", nothing,
         [](XmlDocument& d) {
             d.selectFirst(QStringLiteral("/Vadok/Config")).removeAttribute(QStringLiteral("LhaDialog"));
         },
         "メイン<ROOT:Tool,Keep Sub<ROOT: Tool=tool.sh Keep=keep.sh no LhaDialog", {},
         merged + QStringLiteral(": 設定")},
        {"no common version known: nothing deleted, differences keep ours and are told",
         [](XmlDocument& d) { setCommand(d, "Tool", "ours.sh"); },
         [](XmlDocument& d) {
             setCommand(d, "Tool", "theirs.sh");
             addNew(d);
             deleteApp(d, "Keep");
         },
         "メイン<ROOT:Tool,Keep Sub<ROOT:New Tool=ours.sh Keep=keep.sh New=keep.sh",
         clashes + QStringLiteral("・Tool の「実行コマンド」"), merged + QStringLiteral(": New"),
         false},
    };
    const QStringList copyNames = {QStringLiteral("vadok.sync-conflict-20261209-101010-ABCDEFG.xml"),
                                   QStringLiteral("vadok (conflicted copy 2026-12-09 101010).xml"),
                                   QStringLiteral("vadok (laptop's conflicted copy 2026-12-09).xml")};
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        // Both machines had this version: the other one saved it, and this one read it at a
        // start.
        QFile::remove(machineCacheFile(QStringLiteral("vadok.sync-base.xml")));
        writeAsOtherMachine(dataFilePath(), common, [](XmlDocument&) {});
        if (row.commonVersionKnown) {
            startHere();
            window.reset();
        }
        // Each machine changes its own version, unseen by the other.
        {
            DataFileEdit edit;
            ASSERT_TRUE(edit.isLoaded());
            row.here(edit.doc());
            ASSERT_TRUE(edit.save());
        }
        const QString copy = folder.file(copyNames[n++ % copyNames.size()]);
        writeAsOtherMachine(copy, common, row.there);
        // The backups' own conflict copies: only history, never a common version.
        const QString backupCopy = folder.file(QStringLiteral("vadok.xml.sync-conflict-20261209-101010-ABCDEFG.now"));
        folder.writeFile(QFileInfo(backupCopy).fileName(), folder.readFile(QStringLiteral("vadok.xml")));

        if (!row.told.isEmpty())
            prompter.expect(row.told, MsgAnswer::Ok);
        panel1History.clear();
        startHere();

        EXPECT_EQ(summary(), QString::fromUtf8(row.file));
        EXPECT_TRUE(prompter.allAnswered());
        EXPECT_TRUE(panel1History.contains(row.note)) << panel1History.join(u'\n').toStdString();
        EXPECT_FALSE(QFile::exists(copy));
        EXPECT_FALSE(QFile::exists(backupCopy));
        window.reset();
    }
}

TEST_F(SyncConflicts, aReplacedDataFileIsShownAtTheNextTickOnceNothingIsEdited) {
    window = openWindow();
    clickNode(*window, QStringLiteral("Keep"));
    deliver(dataFilePath(), otherMachinesVersion(QStringLiteral("tool.sh")));

    window->ToggleSearchMode();
    tick();
    EXPECT_EQ(node(*window, QStringLiteral("New")), nullptr) << "rebuilt under the search";

    window->ToggleSearchMode();
    tick();
    ASSERT_NE(node(*window, QStringLiteral("New")), nullptr);
    EXPECT_EQ(CatalogTree::key(window->treeView()->currentItem()), u"Keep");
    EXPECT_EQ(
        window->Apps()[size_t(CatalogTree::tag(node(*window, QStringLiteral("Keep"))).toInt())]
            .Info(),
        u"別のマシンのメモ\r\n");
}

TEST_F(SyncConflicts, savesAfterAReplacementChangeTheFileAsItIsOnDisk) {
    window = openWindow();
    deliver(dataFilePath(), otherMachinesVersion(QStringLiteral("theirs.sh")));

    // Before the tree has followed: the tree's record of Keep still has the old notes.
    PackApp keep =
        window->Apps()[size_t(CatalogTree::tag(node(*window, QStringLiteral("Keep"))).toInt())];
    keep.setLastOpenDateTime(now.addDays(1));
    ASSERT_TRUE(keep.SaveConfig());
    EXPECT_EQ(stored(QStringLiteral("Keep"), "Text"), u"別のマシンのメモ");
    EXPECT_EQ(stored(QStringLiteral("Keep"), "Date"), dateTimeText(now.addDays(1)));

    // The tree still lacks New; moving Tool writes the folders without losing New's place.
    ASSERT_TRUE(window->treeEditing().MoveNode(QStringLiteral("Tool"), QStringLiteral("Sub")));
    const std::vector<StoredFolder> folders = storedFolders();
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders[1].apps, QStringList({QStringLiteral("New"), QStringLiteral("Keep")}));
    EXPECT_EQ(folders[2].apps, QStringList{QStringLiteral("Tool")});
    EXPECT_EQ(stored(QStringLiteral("Tool"), "Exec"), u"theirs.sh");
}

} // namespace
} // namespace vadok::test

#pragma once

#include "support/files.h"

#include "apps/packapp.h"
#include "mainwindow/frmmain.h"

#include "support/scriptedprompter.h"
#include "support/tempprogramfolder.h"

#include <QSet>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <ostream>
#include <vector>

class QTreeWidgetItem;

namespace vadok::test {

// Files below a folder by relative path, with their contents.
using Files = std::map<QString, QByteArray>;
Files filesBelow(const QString& folder);

// One Folder element of a catalog: its name, its parent's name and its AppItem texts.
struct FolderSpec {
    QString name;
    QString parent;
    QStringList apps;
};

// One Folder element as the data file holds it after a save.
struct StoredFolder {
    QString name, parent, order;
    QStringList apps;
    bool operator==(const StoredFolder&) const = default;
};
std::ostream& operator<<(std::ostream& out, const StoredFolder& f);
// The Folder elements of the data file, in file order.
std::vector<StoredFolder> storedFolders();

// A program folder with a fresh data file and Pack/, Exec/, Icon/ beside it, scripted
// messages, the keyboard released and the clock fixed; the window itself is opened by the
// test once the catalog is written.
class MainWindowFixture : public ::testing::Test {
public:
    // Processes events until condition holds; false when it did not within timeoutMs. Only a
    // failing test waits that long: the bound is generous, for a machine under heavy load.
    static bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 60000);
    // Hands request to the window of the program folder, as a later start does; false when
    // nobody took it.
    static bool handOver(const QString& request);
    static AppRecord record(const QString& name, const QString& folder = QStringLiteral("メイン"),
                            const QString& execCmd = QString());

protected:
    MainWindowFixture();
    ~MainWindowFixture() override;

    // Replaces the catalog's folder structure.
    void writeFolders(const QList<FolderSpec>& folders);
    // Appends an App record as the data file stores it (duplicates included).
    void appendRecord(const AppRecord& record);
    // Writes files into the application's expanded folder.
    void expand(const QString& name, const QList<std::pair<QString, QByteArray>>& files);
    // Expands, stores the folder as the application's archive and removes the folder.
    void storeArchive(const QString& name, const QList<std::pair<QString, QByteArray>>& files);
    // A small valid .ico file for the application.
    void writeIcon(const QString& name);

    // Shows the window and waits for the tree and icons to be ready ("NORMAL").
    std::unique_ptr<frmMain> openWindow();
    // Shows the window without waiting.
    std::unique_ptr<frmMain> startWindow();

    // The tree as lines "key|text|tag", indented by two spaces per level.
    static QStringList dumpTree(const frmMain& window);
    static QTreeWidgetItem* node(const frmMain& window, const QString& key);
    // A mouse click (or double click) on the node's text.
    static void clickNode(frmMain& window, const QString& key,
                          Qt::MouseButton button = Qt::LeftButton);
    static void doubleClickNode(frmMain& window, const QString& key);
    static QString panelText(const frmMain& window, int panel);

    QString execDir() const;
    QString packDir() const;
    QString archiveOf(const QString& name) const { return packDir() + name + QStringLiteral(".lzh"); }
    // What the application's archive holds, expanded into a scratch folder.
    Files archiveContents(const QString& name);

    TempProgramFolder folder;
    ScriptedPrompter prompter;
    QDateTime now = QDateTime(QDate(2026, 12, 8), QTime(0, 1));
    QSet<int> heldKeys;
    QStringList panel1History;
    QTemporaryDir scratch;
};

} // namespace vadok::test

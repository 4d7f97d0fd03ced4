#include "mainwindowfixture.h"

#include "apps/archivercalls.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "catalog/valueconv.h"
#include "catalog/xmldocument.h"
#include "instances/handover.h"
#include "mainwindow/catalogtree.h"
#include "platform/clock.h"
#include "platform/folderusers.h"
#include "platform/keystate.h"
#include "platform/programfolder.h"
#include "util/folderutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QThread>

namespace vadok::test {

std::ostream& operator<<(std::ostream& out, const StoredFolder& f) {
    return out << f.name.toStdString() << "<" << f.parent.toStdString() << "#"
               << f.order.toStdString() << " [" << f.apps.join(u',').toStdString() << "]";
}

std::vector<StoredFolder> storedFolders() {
    XmlDocument doc;
    EXPECT_TRUE(doc.load(dataFilePath()));
    std::vector<StoredFolder> result;
    for (const XmlElement& f : doc.select(QStringLiteral("//Folder"))) {
        StoredFolder s{f.attribute(QStringLiteral("Name")), f.attribute(QStringLiteral("Parent")),
                       f.attribute(QStringLiteral("Order")), {}};
        for (const XmlElement& item : f.children(QStringLiteral("AppItem")))
            s.apps << item.text();
        result.push_back(s);
    }
    return result;
}

MainWindowFixture::MainWindowFixture() {
    setClockSource([this] { return now; });
    setKeyStateSource([this](int key) { return heldKeys.contains(key); });
    // No program of the machine works in a test's folders unless the test says so.
    setFolderUsersHook([](const QString&) { return QList<FolderUser>{}; });
    PrepareDataFile();
    settings() = Settings();
    LoadSettings();
}

MainWindowFixture::~MainWindowFixture() {
    setClockSource({});
    setKeyStateSource({});
    setFolderUsersHook({});
}

bool MainWindowFixture::handOver(const QString& request) {
    return SendHandOverRequest(programFolder(), request).delivery == HandOverDelivery::Delivered;
}

bool MainWindowFixture::waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void MainWindowFixture::writeFolders(const QList<FolderSpec>& folders) {
    XmlDocument doc;
    ASSERT_TRUE(doc.load(dataFilePath()));
    XmlElement list = doc.documentElement().firstChild(QStringLiteral("Folders"));
    list.removeChildren();
    int order = 1;
    for (const FolderSpec& wanted : folders) {
        XmlElement f = list.appendChild(QStringLiteral("Folder"));
        f.setAttribute(QStringLiteral("Name"), wanted.name);
        f.setAttribute(QStringLiteral("Parent"), wanted.parent);
        f.setAttribute(QStringLiteral("Order"), QString::number(order++));
        for (const QString& app : wanted.apps)
            f.appendChild(QStringLiteral("AppItem")).setText(app);
    }
    ASSERT_TRUE(doc.save(dataFilePath()));
}

void MainWindowFixture::appendRecord(const AppRecord& r) {
    XmlDocument doc;
    ASSERT_TRUE(doc.load(dataFilePath()));
    XmlElement app =
        doc.documentElement().firstChild(QStringLiteral("Apps")).appendChild(QStringLiteral("App"));
    app.appendChild(QStringLiteral("Name")).setText(r.AppName);
    app.appendChild(QStringLiteral("Fol")).setText(r.AppDir);
    app.appendChild(QStringLiteral("Date"))
        .setText(r.LastOpenDateTime.isValid() ? dateTimeText(r.LastOpenDateTime) : QString());
    app.appendChild(QStringLiteral("Exec")).setText(r.ExecCmd);
    app.appendChild(QStringLiteral("NonPack")).setText(boolElementText(r.NonPack));
    if (r.ShortCut) {
        XmlElement shortCut = app.appendChild(QStringLiteral("ShortCut"));
        shortCut.setText(boolElementText(true));
        shortCut.setAttribute(QStringLiteral("basePath"), r.OverRideBasePath);
    }
    XmlElement text = app.appendChild(QStringLiteral("Text"));
    for (const QString& line : r.Info.split(QStringLiteral("\r\n")))
        text.appendChild(QStringLiteral("Line")).setText(line);
    ASSERT_TRUE(doc.save(dataFilePath()));
}

AppRecord MainWindowFixture::record(const QString& name, const QString& folderName,
                                    const QString& execCmd) {
    AppRecord r;
    r.AppName = name;
    r.AppDir = folderName;
    r.ExecCmd = execCmd;
    return r;
}

void MainWindowFixture::expand(const QString& name,
                               const QList<std::pair<QString, QByteArray>>& files) {
    for (const auto& [relative, bytes] : files)
        writeFile(execDir() + name + u'/' + relative, bytes,
                  relative.endsWith(QStringLiteral(".sh")));
}

void MainWindowFixture::storeArchive(const QString& name,
                                     const QList<std::pair<QString, QByteArray>>& files) {
    expand(name, files);
    ASSERT_EQ(RunUnlha(StoreCommand(packDir() + name + QStringLiteral(".lzh"),
                                    execDir() + name + u'/', true)),
              0);
    ASSERT_TRUE(DeleteFolder(execDir() + name, nullptr, true));
}

void MainWindowFixture::writeIcon(const QString& name) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(settings().IconDir + name + QStringLiteral(".ico"), "ICO"));
}

std::unique_ptr<frmMain> MainWindowFixture::startWindow() {
    auto window = std::make_unique<frmMain>();
    window->setPauses({10, 1});
    QObject::connect(window.get(), &frmMain::statusTextChanged, window.get(),
                     [this](int panel, const QString& text) {
                         if (panel == 1)
                             panel1History.append(text);
                     });
    window->show();
    return window;
}

std::unique_ptr<frmMain> MainWindowFixture::openWindow() {
    auto window = startWindow();
    EXPECT_TRUE(waitUntil([&] { return window->stage() == u"NORMAL"; }));
    return window;
}

QStringList MainWindowFixture::dumpTree(const frmMain& window) {
    QStringList lines;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
        lines << QString(depth * 2, u' ') + CatalogTree::key(item) + u'|' + item->text(0) + u'|' +
                     CatalogTree::tag(item);
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    CatalogTree* tree = window.treeView();
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 0);
    return lines;
}

QTreeWidgetItem* MainWindowFixture::node(const frmMain& window, const QString& key) {
    return window.treeView()->node(key);
}

namespace {

QPoint nodePoint(frmMain& window, const QString& key) {
    CatalogTree* tree = window.treeView();
    QTreeWidgetItem* item = tree->node(key);
    EXPECT_NE(item, nullptr) << key.toStdString();
    if (!item)
        return {};
    for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        p->setExpanded(true);
    tree->scrollToItem(item);
    const QRect rect = tree->visualItemRect(item);
    return QPoint(rect.left() + 40, rect.center().y());
}

} // namespace

void MainWindowFixture::clickNode(frmMain& window, const QString& key, Qt::MouseButton button) {
    QTest::mouseClick(window.treeView()->viewport(), button, {}, nodePoint(window, key));
}

void MainWindowFixture::doubleClickNode(frmMain& window, const QString& key) {
    const QPoint at = nodePoint(window, key);
    QTest::mouseClick(window.treeView()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(window.treeView()->viewport(), Qt::LeftButton, {}, at);
}

QString MainWindowFixture::panelText(const frmMain& window, int panel) {
    const auto* label = window.findChild<QLabel*>(panel == 2 ? QStringLiteral("StatusBarPanel2")
                                                             : QStringLiteral("StatusBarPanel1"));
    return label ? label->text() : QStringLiteral("<no panel>");
}

QString MainWindowFixture::execDir() const {
    return settings().ExecDir;
}
QString MainWindowFixture::packDir() const {
    return settings().PackDir;
}

Files filesBelow(const QString& folder) {
    Files files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(folder).relativeFilePath(path)] = readFile(path);
    }
    return files;
}

Files MainWindowFixture::archiveContents(const QString& name) {
    const QString into = scratch.path() + QStringLiteral("/check-") + name;
    EXPECT_EQ(RunUnlha(ExpandCommand(archiveOf(name), into + u'/', true)), 0);
    return filesBelow(into);
}

} // namespace vadok::test

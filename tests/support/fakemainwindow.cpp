#include "support/fakemainwindow.h"

namespace vadok::test {

FakeMainWindow::FakeMainWindow() { setMainWindowLink(this); }

FakeMainWindow::~FakeMainWindow() { setMainWindowLink(nullptr); }

void FakeMainWindow::setStatusPanelText(int panel, const QString& text) {
    if (panel == 2) {
        panel2 = text;
    } else {
        panel1 = text;
        panel1History.append(text);
        if (onPanel1Text)
            onPanel1Text(text);
    }
}

void FakeMainWindow::renameAppNode(const QString& oldName, const QString& newName) {
    renamedNodes.append(oldName + u'>' + newName);
    if (const qsizetype at = treeKeys.indexOf(oldName); at >= 0)
        treeKeys[at] = newName;
    ++folderWrites;
}

void FakeMainWindow::placeAppNode(const QString& name, const QString& folder) {
    placedNodes.append(name + u'>' + folder);
    if (!treeKeys.contains(name))
        treeKeys.append(name);
    ++folderWrites;
}

} // namespace vadok::test

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

} // namespace vadok::test

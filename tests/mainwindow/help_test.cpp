// The help command: the desktop's browser where one opens web pages, else our own viewer.
#include "mainwindowfixture.h"

#include "dialogs/helpviewer.h"

#include <QAction>
#include <QFile>
#include <QTextBrowser>

namespace vadok::test {
namespace {

class Help : public MainWindowFixture {
protected:
    Help() : path(qgetenv("PATH")) {
        page = folder.file(QStringLiteral("help/index.html"));
        writeFile(page, "<html><head><meta charset=\"utf-8\"><title>Vadok ヘルプ</title></head>"
                        "<body><h1>使い方</h1><p>ツリーにドロップして登録します。</p></body></html>");
        writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), {}}});
    }
    ~Help() override { qputenv("PATH", path); }

    // The only programs found on PATH: xdg-open, which notes the file it was asked to open,
    // and xdg-mime, which names handler as the application for web pages.
    void desktopTools(bool opener, const char* handler) {
        const QString bin = scratch.path() + QStringLiteral("/bin/");
        QDir().mkpath(bin);
        if (opener)
            writeFile(bin + QStringLiteral("xdg-open"),
                      "#!/bin/sh\nprintf '%s' \"$1\" > \"${0%/*}/opened\"\n", true);
        if (handler)
            writeFile(bin + QStringLiteral("xdg-mime"),
                      QByteArray("#!/bin/sh\necho ") + handler + '\n', true);
        qputenv("PATH", bin.toUtf8());
    }
    QString opened() const { return scratch.path() + QStringLiteral("/bin/opened"); }
    void help() { window->findChild<QAction*>(QStringLiteral("mnuHelp"))->trigger(); }
    QList<HelpViewer*> viewers() const { return window->findChildren<HelpViewer*>(); }

    QByteArray path;
    QString page;
    std::unique_ptr<frmMain> window;
};

TEST_F(Help, withoutABrowserForWebPagesThePageIsShownInOurOwnViewer) {
    const struct {
        const char* what;
        bool opener;
        const char* handler;
    } cases[] = {
        {"no xdg-open", false, nullptr},
        {"no application for web pages", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        desktopTools(c.opener, c.handler);
        window = openWindow();
        help();
        ASSERT_EQ(viewers().size(), 1);
        HelpViewer* viewer = viewers().first();
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Vadok ヘルプ"));
        EXPECT_TRUE(viewer->findChild<QTextBrowser*>(QStringLiteral("txtHelp"))
                        ->toPlainText()
                        .contains(QStringLiteral("ツリーにドロップして登録します。")));
        // Asked again, the viewer already open comes to the front.
        help();
        EXPECT_EQ(viewers().size(), 1);
        EXPECT_FALSE(QFileInfo::exists(opened()));
        window.reset();
    }
}

TEST_F(Help, aBrowserForWebPagesOpensThePageAndNoViewerIsShown) {
    desktopTools(true, "browser.desktop");
    window = openWindow();
    help();
    EXPECT_TRUE(waitUntil([&] { return readFile(opened()) == page.toUtf8(); }));
    EXPECT_TRUE(viewers().isEmpty());
}

} // namespace
} // namespace vadok::test

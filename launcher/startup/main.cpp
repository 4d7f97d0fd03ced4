// The vadok program: a thin shell over the start-up routine.
#include "dialogs/widgetchooser.h"
#include "dialogs/widgetprompter.h"
#include "instances/commandline.h"
#include "instances/instancelock.h"
#include "mainwindow/frmmain.h"
#include "platform/programfolder.h"
#include "startup/startup.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>
#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <memory>

namespace {

// Names on disk and texts in pipes are UTF-8 whatever the user's locale says.
void useUtf8Locale() {
    const char* set = std::setlocale(LC_ALL, "");
    if (!set || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_ALL, "C.UTF-8");
}

// The windows start-up opens: the main window, created on first use.
class StartupWindowsHere : public vadok::StartupWindows {
public:
    StartupWindowsHere(vadok::WidgetPrompter& prompter, vadok::WidgetChooser& chooser)
        : m_prompter(prompter), m_chooser(chooser) {}
    ~StartupWindowsHere() override {
        m_prompter.setOwner(nullptr);
        m_chooser.setOwner(nullptr);
    }

    void showMainWindow() override { mainWindow().show(); }
    void openMainWindowInTray() override { mainWindow(); }
    void showDropDialog(const QString& path) override { mainWindow().showDropDialog(path); }

private:
    vadok::frmMain& mainWindow() {
        if (!m_window) {
            m_window = std::make_unique<vadok::frmMain>();
            // The window may close while hidden in the tray, and a message box may close while
            // it is hidden: only the window's own exit ends the program.
            QObject::connect(m_window.get(), &vadok::frmMain::exited, qApp, &QCoreApplication::quit,
                             Qt::QueuedConnection);
            m_prompter.setOwner(m_window.get());
            m_chooser.setOwner(m_window.get());
        }
        return *m_window;
    }
    vadok::WidgetPrompter& m_prompter;
    vadok::WidgetChooser& m_chooser;
    std::unique_ptr<vadok::frmMain> m_window;
};

} // namespace

int main(int argc, char** argv) {
    useUtf8Locale();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vadok"));
    QApplication::setQuitOnLastWindowClosed(false);

    QTranslator qtJapanese;
    if (qtJapanese.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtJapanese);

    vadok::setProgramFolder(QApplication::applicationDirPath());
    vadok::WidgetPrompter prompter;
    vadok::setPrompter(&prompter);
    vadok::WidgetChooser chooser;
    vadok::setChooser(&chooser);

    vadok::InstanceLock lock(vadok::programFolder());
    StartupWindowsHere windows(prompter, chooser);
    const QString commandLine = vadok::JoinCommandLine(
        vadok::AnchorRelativePaths(QApplication::arguments().mid(1), QDir::currentPath()));
    const vadok::StartupResult result =
        vadok::RunStartup(commandLine, windows, [&lock] { return lock.anotherInstanceRuns(); });
    int code = 0;
    if (result == vadok::StartupResult::RunEventLoop) {
        // A window is open: later starts must find this instance, however it was started.
        lock.acquire();
        code = QApplication::exec();
    }
    vadok::setPrompter(nullptr);
    vadok::setChooser(nullptr);
    return code;
}

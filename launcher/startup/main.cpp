// The vadok program: a thin shell over the start-up routine.
#include "dialogs/widgetprompter.h"
#include "platform/programfolder.h"
#include "startup/commandline.h"
#include "startup/instancelock.h"
#include "startup/startup.h"

#include <QApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QMainWindow>
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

// Until the catalog window is built, the main-window branch opens a window that says so.
class StartupWindowsHere : public vadok::StartupWindows {
public:
    void showMainWindow() override {
        if (!m_window) {
            m_window = std::make_unique<QMainWindow>();
            m_window->setWindowTitle(QStringLiteral("vadok"));
            auto* label = new QLabel(QStringLiteral("カタログ表示はまだ作られていません。"));
            label->setAlignment(Qt::AlignCenter);
            m_window->setCentralWidget(label);
            m_window->resize(529, 406);
        }
        m_window->show();
    }
    void minimizeMainWindow() override {
        if (m_window)
            m_window->setWindowState(Qt::WindowMinimized);
    }
    void showDropDialog(const QString& path) override {
        qWarning("vadok: registering dropped items is not built yet (%s)", qPrintable(path));
    }

private:
    std::unique_ptr<QMainWindow> m_window;
};

} // namespace

int main(int argc, char** argv) {
    useUtf8Locale();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vadok"));

    QTranslator qtJapanese;
    if (qtJapanese.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtJapanese);

    vadok::setProgramFolder(QApplication::applicationDirPath());
    vadok::WidgetPrompter prompter;
    vadok::setPrompter(&prompter);

    vadok::InstanceLock lock(vadok::programFolder());
    StartupWindowsHere windows;
    const QString commandLine = vadok::JoinCommandLine(QApplication::arguments().mid(1));
    const vadok::StartupResult result =
        vadok::RunStartup(commandLine, windows, [&lock] { return lock.anotherInstanceRuns(); });
    int code = 0;
    if (result == vadok::StartupResult::RunEventLoop) {
        // A window is open: later starts must find this instance, however it was started.
        lock.acquire();
        code = QApplication::exec();
    }
    vadok::setPrompter(nullptr);
    return code;
}

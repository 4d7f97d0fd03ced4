// The vadok program: a thin shell over the start-up routine.
#include "dialogs/widgetchooser.h"
#include "dialogs/widgetprompter.h"
#include "instances/commandline.h"
#include "instances/instancegate.h"
#include "mainwindow/frmmain.h"
#include "mainwindow/programversion.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "startup/programoptions.h"
#include "startup/startup.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>
#include <clocale>
#include <cstdio>
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

// --help, --version and unknown options are answered here, before a display is asked for,
// so they work over ssh and in scripts. Returns the exit code, or -1 to go on.
int answerOptions(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const vadok::ProgramOptions options = vadok::ReadProgramOptions(arguments);
    switch (options.kind) {
    case vadok::ProgramOptions::Kind::Help:
        std::fputs(vadok::UsageText().toUtf8().constData(), stdout);
        return 0;
    case vadok::ProgramOptions::Kind::Version:
        std::fputs((vadok::programVersionText() + u'\n').toUtf8().constData(), stdout);
        return 0;
    case vadok::ProgramOptions::Kind::Unknown:
        std::fputs(QStringLiteral("vadok: 不明なオプションです: %1\n"
                                  "使い方は vadok --help で表示できます。\n")
                       .arg(options.arguments.first())
                       .toUtf8()
                       .constData(),
                   stderr);
        return 2;
    case vadok::ProgramOptions::Kind::Launch:
        break;
    }
    return -1;
}

// The program folder follows where the binary lies; an installed vadok makes its data folder
// on first start. False, after telling the user, when it cannot.
bool useDataFolder() {
    const QString binary = QApplication::applicationDirPath();
    vadok::setBinaryFolder(binary);
    vadok::setProgramFolder(
        vadok::dataFolderFor(binary, qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath()));
    if (QDir().mkpath(vadok::programFolder()))
        return true;
    vadok::showMessage(QStringLiteral("データを置くフォルダを作成できませんでした。\r\n") +
                           vadok::programFolder(),
                       vadok::MsgIcon::Critical);
    return false;
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
    if (const int answered = answerOptions(argc, argv); answered >= 0)
        return answered;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vadok"));
    QGuiApplication::setDesktopFileName(QStringLiteral(VADOK_APP_ID));
    QApplication::setQuitOnLastWindowClosed(false);

    QTranslator qtJapanese;
    if (qtJapanese.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtJapanese);

    vadok::WidgetPrompter prompter;
    vadok::setPrompter(&prompter);
    vadok::WidgetChooser chooser;
    vadok::setChooser(&chooser);
    if (!useDataFolder()) {
        vadok::setPrompter(nullptr);
        vadok::setChooser(nullptr);
        return 1;
    }

    // Lives until the process ends: the instance lock is held as long as the window runs.
    vadok::InstanceGate instance(vadok::programFolder());
    StartupWindowsHere windows(prompter, chooser);
    const QString commandLine = vadok::JoinCommandLine(
        vadok::AnchorRelativePaths(
        vadok::ReadProgramOptions(QApplication::arguments().mid(1)).arguments, QDir::currentPath()));
    const vadok::StartupResult result = vadok::RunStartup(commandLine, windows, instance);
    int code = 0;
    if (result == vadok::StartupResult::RunEventLoop)
        code = QApplication::exec();
    else if (result == vadok::StartupResult::Failed)
        code = 1;
    vadok::setPrompter(nullptr);
    vadok::setChooser(nullptr);
    return code;
}

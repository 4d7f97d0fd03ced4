// Running an application: expand when stored, work out program, parameters and working
// folder from its command, start it through the desktop, and stamp its last use.
#include "apps/commandparts.h"
#include "apps/packapp.h"
#include "apps/programfiles.h"

#include "catalog/settings.h"
#include "platform/clock.h"
#include "platform/prompter.h"
#include "platform/shellopen.h"

#include <exception>

namespace vadok {

namespace {

QString shellFailureText(int code) {
    switch (code) {
    case 0: return QStringLiteral("メモリまたはリソースが足りません。");
    case 2: return QStringLiteral("ファイルが見つかりません。");
    case 3: return QStringLiteral("パスが見つかりません。");
    case 5: return QStringLiteral("アクセスは拒否されました。");
    case 11: return QStringLiteral("不正な形式の実行ファイルです。");
    case 27: return QStringLiteral("関連付けが不完全です。");
    case 31: return QStringLiteral("関連付けが指定されていません。");
    default: return QStringLiteral("ファイルを開けません。");
    }
}

QString quoteWhenSpaced(QString file) {
    if (!file.contains(u' '))
        return file;
    if (!file.endsWith(u'"'))
        file += u'"';
    if (!file.startsWith(u'"'))
        file.prepend(u'"');
    return file;
}

} // namespace

CommandParts PackApp::launchOf(QString command, const QString& parameters) const {
    // Commands written on Windows separate folders with "\".
    command.replace(u'\\', u'/');
    return SplitCommand(command, parameters, expandedFolder(), workingFolder());
}

QString PackApp::programOf(const QString& command) const {
    return launchOf(command.isEmpty() ? ExecCmd() : command, QString()).file;
}

bool PackApp::Execute(QString& command, const QString& parameters) {
    bool started = false;
    try {
        // Whatever the command names would be missing, or worse, a part of it: nothing starts.
        if (isPack()) {
            quintptr owner = 0;
            if (!UnPack(owner))
                return false;
        }
        if (command.isEmpty())
            command = ExecCmd();
        const QString folder = workingFolder();
        const CommandParts launch = launchOf(command, parameters);
        // Archives that record no Unix modes bring their programs without the execute bit;
        // those of the application's own folder are given it, and the next store keeps it.
        const QString program = programPathOf(launch.file, folder);
        grantOwnerExecute(program, expandedFolder());
        const int code = ShellOpen(quoteWhenSpaced(launch.file), launch.parameters, folder);
        started = code > 32;
        if (code == ShellCode::AccessDenied) {
            showMessage(shellFailureText(code) + QStringLiteral("\r\n「") +
                        (program.isEmpty() ? launch.file : program) +
                        QStringLiteral("」を実行する許可がありません。"));
        } else if (code <= 32) {
            showMessage(shellFailureText(code));
        }
        m_record.LastOpenDateTime = currentDateTime();
        SaveConfig();
    } catch (const std::exception& error) {
        showMessage(QStringLiteral("エラーが発生しました") + QStringLiteral("PackApp/Execute") +
                    QString::fromLocal8Bit(error.what()) + QStringLiteral("vadok"));
    }
    return started;
}

} // namespace vadok

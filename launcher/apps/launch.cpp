// Running an application: expand when stored, work out program, parameters and working
// folder from its command, start it through the desktop, and stamp its last use.
#include "apps/packapp.h"

#include "catalog/settings.h"
#include "platform/clock.h"
#include "platform/prompter.h"
#include "platform/shellopen.h"
#include "util/textutil.h"

#include <QDir>
#include <QFileInfo>
#include <exception>

namespace vadok {

namespace {

const QString kExe = QStringLiteral(".EXE");

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

bool existsIn(const QString& folder, const QString& name) {
    if (name.isEmpty())
        return false;
    const QString path = QDir::isRelativePath(name) ? QDir(folder).filePath(name) : name;
    const QFileInfo info(path);
    return info.isFile() || !ResolvePathIgnoringCase(path).isEmpty();
}

struct Launch {
    QString file;
    QString parameters;
};

// Program and parameters of command for an application whose folder is appFolder.
Launch splitCommand(const QString& command, const QString& parameters, const QString& appFolder,
                    const QString& workingFolder) {
    if (!parameters.isEmpty())
        return {command, parameters};
    const QString upper = command.toUpper();
    if (upper.contains(kExe)) {
        // Windows commands name their program up to ".exe"; what follows is parameters.
        if (!GetField(upper, kExe, 2).isEmpty())
            return {appFolder + GetField(upper, kExe, 1) + QStringLiteral(".exe"),
                    GetField(upper, kExe, 2, 99)};
        return {command, QString()};
    }
    // Programs here carry no ".exe": "run --flag" names the program "run" when no file is
    // called "run --flag".
    const QString first = GetField(command, QStringLiteral(" "), 1);
    if (first != command && !existsIn(workingFolder, command) && existsIn(workingFolder, first))
        return {first, GetField(command, QStringLiteral(" "), 2, 99)};
    return {command, QString()};
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

void PackApp::Execute(QString& command, const QString& parameters) {
    try {
        if (isPack()) {
            quintptr owner = 0;
            UnPack(owner);
        }
        if (command.isEmpty())
            command = ExecCmd();
        const QString folder = workingFolder();
        // Commands written on Windows separate folders with "\".
        QString commandHere = command;
        commandHere.replace(u'\\', u'/');
        Launch launch = splitCommand(commandHere, parameters, expandedFolder(), folder);
        const int code = ShellOpen(quoteWhenSpaced(launch.file), launch.parameters, folder);
        if (code <= 32)
            showMessage(shellFailureText(code));
        m_record.LastOpenDateTime = currentDateTime();
        SaveConfig();
    } catch (const std::exception& error) {
        showMessage(QStringLiteral("エラーが発生しました") + QStringLiteral("PackApp/Execute") +
                    QString::fromLocal8Bit(error.what()) + QStringLiteral("vadok"));
    }
}

} // namespace vadok

#include "platform/shellopen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

namespace vadok {

namespace {

bool isWindowsProgram(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"exe" || suffix == u"bat" || suffix == u"com";
}

// What the kernel would run: an ELF image or a script with an interpreter line.
bool looksLikeProgram(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(4);
    return head == QByteArray("\x7f" "ELF", 4) || head.startsWith("#!");
}

bool startDetached(const QString& program, const QStringList& arguments, const QString& folder) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(folder);
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached();
}

// The desktop's "open with the associated application" for documents and folders.
int openWithAssociation(const QString& path, const QString& folder) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return ShellCode::NoAssociation;
    if (!QFileInfo(path).isDir()) {
        const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
        if (!query.isEmpty()) {
            QProcess mime;
            mime.start(query, {QStringLiteral("query"), QStringLiteral("default"),
                               QMimeDatabase().mimeTypeForFile(path).name()});
            if (mime.waitForFinished(3000) && mime.readAllStandardOutput().trimmed().isEmpty())
                return ShellCode::NoAssociation;
        }
    }
    return startDetached(opener, {path}, folder) ? ShellCode::Started : ShellCode::OutOfResources;
}

} // namespace

QString ResolvePathIgnoringCase(const QString& path) {
    if (path.isEmpty())
        return QString();
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return path;
    const QString clean = QDir::cleanPath(path);
    const QStringList parts = clean.split(u'/');
    QString current = clean.startsWith(u'/') ? QStringLiteral("/") : QString();
    for (const QString& part : parts) {
        if (part.isEmpty())
            continue;
        const QString exact = current.isEmpty() ? part : QDir(current).filePath(part);
        if (QFileInfo::exists(exact)) {
            current = exact;
            continue;
        }
        const QDir dir(current.isEmpty() ? QStringLiteral(".") : current);
        QString match;
        for (const QString& name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                 QDir::NoDotAndDotDot)) {
            if (name.compare(part, Qt::CaseInsensitive) == 0) {
                match = name;
                break;
            }
        }
        if (match.isEmpty())
            return QString();
        current = current.isEmpty() ? match : QDir(current).filePath(match);
    }
    return current;
}

int ShellOpen(const QString& file, const QString& parameters, const QString& workingFolder) {
    const QString name = WithoutQuotes(file);
    if (name.isEmpty())
        return ShellCode::FileNotFound;
    if (!workingFolder.isEmpty() && !QFileInfo(workingFolder).isDir())
        return ShellCode::PathNotFound;
    const QString wanted =
        QDir::isRelativePath(name) && !workingFolder.isEmpty() ? QDir(workingFolder).filePath(name) : name;
    const QString path = ResolvePathIgnoringCase(wanted);
    if (path.isEmpty()) {
        const QString parent = QFileInfo(wanted).absolutePath();
        return ResolvePathIgnoringCase(parent).isEmpty() ? ShellCode::PathNotFound
                                                         : ShellCode::FileNotFound;
    }
    const QFileInfo info(path);
    const QStringList arguments = QProcess::splitCommand(parameters);

    if (info.isDir())
        return openWithAssociation(path, workingFolder);
    if (isWindowsProgram(path)) {
        const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
        if (wine.isEmpty())
            return ShellCode::NoAssociation;
        return startDetached(wine, QStringList{path} + arguments, workingFolder)
                   ? ShellCode::Started
                   : ShellCode::OutOfResources;
    }
    if (looksLikeProgram(path)) {
        if (!info.isExecutable())
            return ShellCode::AccessDenied;
        return startDetached(info.absoluteFilePath(), arguments, workingFolder)
                   ? ShellCode::Started
                   : ShellCode::OutOfResources;
    }
    if (info.isExecutable() && QMimeDatabase().mimeTypeForFile(path).inherits(
                                   QStringLiteral("application/octet-stream")))
        return ShellCode::BadFormat;
    return openWithAssociation(path, workingFolder);
}

bool StartBuildsWinePrefix(const QString& file) {
    const QString name = WithoutQuotes(file);
    if (!isWindowsProgram(name) || QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty())
        return false;
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::homePath() + QStringLiteral("/.wine");
    return !QFileInfo(prefix).isDir();
}

QString WithoutQuotes(QString text) {
    if (text.startsWith(u'"'))
        text.remove(0, 1);
    if (text.endsWith(u'"'))
        text.chop(1);
    return text;
}

} // namespace vadok

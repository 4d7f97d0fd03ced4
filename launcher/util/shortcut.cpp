#include "util/shortcut.h"

#include "util/desktopentry.h"
#include "util/lnkreader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace vadok {

namespace {

// Shortcut files are small; anything larger is not one.
constexpr qint64 kMaxShortcutBytes = 1 << 20;

bool readSmallFile(const QString& path, QByteArray& out) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxShortcutBytes)
        return false;
    out = f.readAll();
    return true;
}

QString iconPathOf(const QString& iconLocation) {
    // "file,index": the desktop entry names only the file.
    const qsizetype comma = iconLocation.lastIndexOf(u',');
    if (comma > 0) {
        bool numeric = false;
        iconLocation.mid(comma + 1).trimmed().toInt(&numeric);
        if (numeric)
            return iconLocation.left(comma);
    }
    return iconLocation;
}

// The arguments of a shortcut's argument text, read as a command line: blanks separate,
// double quotes group, and "" inside quotes is one literal quote.
QStringList splitArgumentText(const QString& text) {
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool haveArg = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'"') {
            if (inQuotes && i + 1 < text.size() && text.at(i + 1) == u'"') {
                current += u'"';
                ++i;
            } else {
                inQuotes = !inQuotes;
            }
            haveArg = true;
        } else if (!inQuotes && (c == u' ' || c == u'\t')) {
            if (haveArg)
                args.append(current);
            current.clear();
            haveArg = false;
        } else {
            current += c;
            haveArg = true;
        }
    }
    if (haveArg)
        args.append(current);
    return args;
}

} // namespace

bool CreateShortcutFile(const QString& linkPath, const ShortcutSpec& shortcut) {
    QByteArray existing;
    DesktopEntry entry;
    if (QFileInfo::exists(linkPath) && readSmallFile(linkPath, existing))
        entry = DesktopEntry::parse(existing);
    entry.setValue(QStringLiteral("Type"), QStringLiteral("Application"));
    if (entry.value(QStringLiteral("Name")).isEmpty())
        entry.setValue(QStringLiteral("Name"), QFileInfo(linkPath).completeBaseName());

    if (!shortcut.TargetPath.isEmpty() || !shortcut.Arguments.isEmpty()) {
        QStringList old = DesktopEntry::splitExec(entry.value(QStringLiteral("Exec")));
        QString exec = DesktopEntry::quoteExecArgument(
            !shortcut.TargetPath.isEmpty() ? shortcut.TargetPath : old.value(0));
        // Each argument is quoted for the desktop entry on its own: a title holding %, $, a
        // backquote, a backslash or a quote would otherwise be expanded or break the entry.
        const QStringList arguments =
            shortcut.Arguments.isEmpty() ? old.mid(1) : splitArgumentText(shortcut.Arguments);
        for (const QString& argument : arguments)
            exec += u' ' + DesktopEntry::quoteExecArgument(argument);
        entry.setValue(QStringLiteral("Exec"), exec);
    }
    if (!shortcut.WorkingDirectory.isEmpty())
        entry.setValue(QStringLiteral("Path"), shortcut.WorkingDirectory);
    if (!shortcut.Description.isEmpty())
        entry.setValue(QStringLiteral("Comment"), shortcut.Description.left(256));
    if (!shortcut.IconLocation.isEmpty())
        entry.setValue(QStringLiteral("Icon"), iconPathOf(shortcut.IconLocation));
    // Hot keys and window styles have no desktop-entry equivalent.

    QSaveFile out(linkPath);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(entry.serialize());
    if (!out.commit())
        return false;
    // Desktops start only entries that are marked executable.
    QFile::setPermissions(linkPath, QFile::permissions(linkPath) | QFileDevice::ExeOwner |
                                        QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

QString ResolveShortcut(const QString& path) {
    const QString lower = path.toLower();
    QByteArray bytes;
    if (lower.endsWith(QStringLiteral(".lnk"))) {
        if (!readSmallFile(path, bytes))
            return path;
        const LnkTarget target = ReadLnkTarget(bytes);
        return target.ok() ? target.path : path;
    }
    if (lower.endsWith(QStringLiteral(".desktop"))) {
        if (!readSmallFile(path, bytes))
            return path;
        const DesktopEntry entry = DesktopEntry::parse(bytes);
        const QStringList exec = DesktopEntry::splitExec(entry.value(QStringLiteral("Exec")));
        if (exec.isEmpty() || exec.first().isEmpty())
            return path;
        const QString program = exec.first();
        const QString workDir = entry.value(QStringLiteral("Path"));
        if (QDir::isRelativePath(program) && !workDir.isEmpty())
            return QDir(workDir).filePath(program);
        return program;
    }
    return path;
}

} // namespace vadok

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
        if (!shortcut.Arguments.isEmpty()) {
            exec += u' ' + shortcut.Arguments;
        } else {
            for (int i = 1; i < old.size(); ++i)
                exec += u' ' + DesktopEntry::quoteExecArgument(old[i]);
        }
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

#include "platform/folderusers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok {

namespace {

QString& tableRoot() {
    static QString root;
    return root;
}

std::function<QList<FolderUser>(const QString&)>& usersHook() {
    static std::function<QList<FolderUser>(const QString&)> hook;
    return hook;
}

// What a link of the process table points at; empty when it cannot be read (another
// user's process, one that ended, or a socket or pipe, which name no path).
QByteArray linkTarget(const QByteArray& link) {
    QByteArray target(4096, '\0');
    const ssize_t n = ::readlink(link.constData(), target.data(), size_t(target.size()));
    if (n <= 0 || n >= target.size() || target[0] != '/')
        return {};
    target.resize(n);
    return target;
}

QByteArray readSmallFile(const QByteArray& path) {
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(1 << 20);
}

QList<QByteArray> entriesOf(const QByteArray& folder) {
    QList<QByteArray> names;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    return names;
}

QString baseName(const QByteArray& path) {
    QString name = QFile::decodeName(path);
    // Wine names its processes by their Windows paths.
    const qsizetype cut = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    return name.mid(cut + 1);
}

// One process of the table, read only as far as needed to know whether it uses the folder.
class ProcessEntry {
public:
    ProcessEntry(const QByteArray& dir, const QByteArray& folder) : m_dir(dir), m_folder(folder) {}

    bool usesFolder() const {
        if (inside(linkTarget(m_dir + "/cwd")) || inside(linkTarget(m_dir + "/exe")))
            return true;
        for (const QByteArray& fd : entriesOf(m_dir + "/fd")) {
            if (inside(linkTarget(m_dir + "/fd/" + fd)))
                return true;
        }
        // A program wine runs is mapped, not held open.
        const QList<QByteArray> maps = readSmallFile(m_dir + "/maps").split('\n');
        return std::any_of(maps.begin(), maps.end(), [this](const QByteArray& line) {
            const qsizetype slash = line.indexOf('/');
            return slash >= 0 && inside(line.mid(slash));
        });
    }

    // The program file when it lies in the folder, else the first argument that names a
    // file there (the script an interpreter runs), else the program as it was started.
    QString program() const {
        const QByteArray exe = linkTarget(m_dir + "/exe");
        if (inside(exe))
            return baseName(exe);
        const QByteArray cwd = linkTarget(m_dir + "/cwd");
        QList<QByteArray> arguments = readSmallFile(m_dir + "/cmdline").split('\0');
        while (!arguments.isEmpty() && arguments.constLast().isEmpty())
            arguments.removeLast();
        for (const QByteArray& argument : arguments) {
            if (argument.isEmpty() || (cwd.isEmpty() && !argument.startsWith('/')))
                continue;
            const QString path = QDir::cleanPath(
                QFile::decodeName(argument.startsWith('/') ? argument : cwd + '/' + argument));
            if (inside(QFile::encodeName(path)) && QFileInfo::exists(path))
                return baseName(argument);
        }
        if (!arguments.isEmpty())
            return baseName(arguments.constFirst());
        return QString::fromUtf8(readSmallFile(m_dir + "/comm").trimmed());
    }

private:
    bool inside(const QByteArray& path) const {
        return !path.isEmpty() &&
               (path == m_folder || (path.startsWith(m_folder) && path[m_folder.size()] == '/'));
    }

    QByteArray m_dir;
    QByteArray m_folder;
};

} // namespace

QList<FolderUser> ProcessesUsingFolder(const QString& folder) {
    if (usersHook())
        return usersHook()(folder);
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return {};
    const QByteArray root = QFile::encodeName(tableRoot().isEmpty() ? QStringLiteral("/proc") : tableRoot());
    const QByteArray self = QByteArray::number(qint64(::getpid()));
    QList<FolderUser> users;
    for (const QByteArray& name : entriesOf(root)) {
        bool numeric = false;
        const qint64 pid = name.toLongLong(&numeric);
        if (!numeric || name == self)
            continue;
        const QByteArray dir = root + '/' + name;
        struct stat st {};
        if (::stat(dir.constData(), &st) != 0 || st.st_uid != ::getuid())
            continue;
        const ProcessEntry process(dir, QFile::encodeName(canonical));
        if (process.usesFolder())
            users.append({pid, process.program()});
    }
    std::sort(users.begin(), users.end(),
              [](const FolderUser& a, const FolderUser& b) { return a.pid < b.pid; });
    return users;
}

QString FolderUserLines(const QList<FolderUser>& users) {
    QStringList lines;
    for (const FolderUser& user : users)
        lines << QStringLiteral("%1 (PID %2)").arg(user.program).arg(user.pid);
    return lines.join(QStringLiteral("\r\n"));
}

void setProcessTableRoot(const QString& root) { tableRoot() = root; }

void setFolderUsersHook(std::function<QList<FolderUser>(const QString& folder)> hook) {
    usersHook() = std::move(hook);
}

} // namespace vadok

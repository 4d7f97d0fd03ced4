#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace vadok {

// A running program of this user that works inside a folder: its working folder, its
// program file or a file it holds open or mapped (as wine maps the Windows program it runs)
// lies there. Deleting the folder under it would lose what it writes from then on.
struct FolderUser {
    qint64 pid = 0;
    QString program; // the name the user knows it by: "mines.exe", "python3"

    bool operator==(const FolderUser&) const = default;
};

// The processes of this user, vadok itself left out, that use folder or anything below it,
// in the order of their process ids. Read from the kernel's process table; a process of
// another user, or one that ends while it is read, is not listed.
QList<FolderUser> ProcessesUsingFolder(const QString& folder);

// "mines.exe (PID 4711)", one line per program.
QString FolderUserLines(const QList<FolderUser>& users);

// Test seams. The process table is read from root, a folder laid out as /proc is (empty:
// /proc itself); a hook, when set, answers in its place.
void setProcessTableRoot(const QString& root);
void setFolderUsersHook(std::function<QList<FolderUser>(const QString& folder)> hook);

} // namespace vadok

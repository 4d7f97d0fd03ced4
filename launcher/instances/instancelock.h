#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace vadok {

// A file of this user's runtime folder that belongs to the vadok of programFolder: that
// folder is this machine's and this login's alone, never the program folder, which a sync
// engine shares with other machines. suffix ends the name (".lock").
QString instanceRuntimeFile(const QString& programFolder, const QString& suffix);

// Tells whether another vadok of this user already runs from the same program folder. The
// lock file names the owning process, so a lock left behind by a crash is taken over.
class InstanceLock {
public:
    explicit InstanceLock(const QString& programFolder);
    // True when this process now holds the lock; false when another live instance does.
    bool acquire();
    bool anotherInstanceRuns() { return !acquire(); }
    static QString lockPathFor(const QString& programFolder);

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_held = false;
};

} // namespace vadok

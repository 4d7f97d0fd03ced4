#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace vadok {

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

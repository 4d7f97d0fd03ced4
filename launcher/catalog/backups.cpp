#include "catalog/backups.h"

#include "catalog/datafile.h"
#include "util/folderutil.h"

#include <QFile>
#include <QFileInfo>

namespace vadok {

namespace {

// Replaces target by a whole copy of source when source exists; target stays as it was
// when the copy fails.
bool copyOver(const QString& source, const QString& target) {
    return !QFileInfo::exists(source) || ReplaceFileWithCopy(source, target);
}

} // namespace

bool RotateBackups(QString* failedGeneration) {
    const QString base = dataFilePath();
    const QString now = base + QStringLiteral(".now");
    if (!QFile::exists(now))
        return true;
    // Size alone decides whether this run changed the file: cheap, and a change that keeps
    // the length equal is accepted as not worth a generation.
    if (QFileInfo(now).size() != QFileInfo(base).size()) {
        // Oldest first, so that a step that fails stops the rotation with every generation
        // still held somewhere; the snapshot stays for the next run to try again.
        const QString steps[][2] = {{base + QStringLiteral(".older"), base + QStringLiteral(".oldest")},
                                    {base + QStringLiteral(".old"), base + QStringLiteral(".older")},
                                    {now, base + QStringLiteral(".old")}};
        for (const auto& step : steps) {
            if (!copyOver(step[0], step[1])) {
                if (failedGeneration)
                    *failedGeneration = QFileInfo(step[1]).fileName();
                return false;
            }
        }
    }
    if (!QFile::remove(now)) {
        if (failedGeneration)
            *failedGeneration = QFileInfo(now).fileName();
        return false;
    }
    return true;
}

} // namespace vadok

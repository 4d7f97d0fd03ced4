#include "catalog/backups.h"

#include "catalog/datafile.h"

#include <QFile>
#include <QFileInfo>

namespace vadok {

namespace {

// Replaces target by a copy of source when source exists.
void copyOver(const QString& source, const QString& target) {
    if (!QFile::exists(source))
        return;
    QFile::remove(target);
    QFile::copy(source, target);
}

} // namespace

void RotateBackups() {
    const QString base = dataFilePath();
    const QString now = base + QStringLiteral(".now");
    if (!QFile::exists(now))
        return;
    // Size alone decides whether this run changed the file: cheap, and a change that keeps
    // the length equal is accepted as not worth a generation.
    if (QFileInfo(now).size() != QFileInfo(base).size()) {
        copyOver(base + QStringLiteral(".older"), base + QStringLiteral(".oldest"));
        copyOver(base + QStringLiteral(".old"), base + QStringLiteral(".older"));
        QFile::remove(base + QStringLiteral(".old"));
        QFile::copy(now, base + QStringLiteral(".old"));
    }
    QFile::remove(now);
}

} // namespace vadok

#include "apps/commandparts.h"

#include "platform/shellopen.h"
#include "util/textutil.h"

#include <QDir>
#include <QFileInfo>

namespace vadok {

namespace {

const QString kExe = QStringLiteral(".EXE");

bool existsIn(const QString& folder, const QString& name) {
    if (name.isEmpty())
        return false;
    const QString path = QDir::isRelativePath(name) ? QDir(folder).filePath(name) : name;
    const QFileInfo info(path);
    return info.isFile() || !ResolvePathIgnoringCase(path).isEmpty();
}

} // namespace

CommandParts SplitCommand(const QString& command, const QString& parameters,
                          const QString& appFolder, const QString& workingFolder) {
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

} // namespace vadok

#pragma once

#include <QString>

namespace vadok {

// The program a command starts and the parameters it hands over.
struct CommandParts {
    QString file;
    QString parameters;
};

// Splits command (folders separated by "/") for an application whose folder is appFolder and
// whose programs run in workingFolder. Given parameters leave the command whole. A Windows
// command names its program up to its first ".exe" (any case); text after that is parameters,
// and the program is then appFolder + that name in upper case + ".exe". A command without
// ".exe" is one program unless no file has its whole name while its first word names one:
// "run --flag" starts "run".
CommandParts SplitCommand(const QString& command, const QString& parameters,
                          const QString& appFolder, const QString& workingFolder);

} // namespace vadok

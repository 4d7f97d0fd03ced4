#pragma once

#include <QString>
#include <QStringList>

namespace vadok {

// The program's command line as one text, rebuilt from the split arguments so that the parser
// below gives every argument back whole: when one holds a space or a double quote (or is
// empty), each is enclosed in double quotes with inner quotes doubled.
QString JoinCommandLine(const QStringList& arguments);

// The arguments with each relative one that names an existing file or folder below
// workingFolder made absolute. A running instance that is handed the command line works in
// another folder, and must find the same file the user pointed at.
QStringList AnchorRelativePaths(const QStringList& arguments, const QString& workingFolder);

// "/DELAY=<digits>": the delay in seconds (at most 6 digits read, value at most 100) and the
// command line with every copy of that switch text removed and spaces trimmed.
struct DelaySwitch {
    bool found = false;
    int seconds = 0;
    QString remaining;
};
DelaySwitch TakeDelaySwitch(const QString& commandLine);

// Arguments of a command line. One that starts with a double quote is read quote-aware ("" is a
// literal quote, the character after a closing quote is skipped, unclosed text at the end is
// dropped); any other is split at every single space.
QStringList SplitCommandLine(const QString& commandLine);

} // namespace vadok

#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace vadok::test {

struct ProgramRun {
    int exitCode = -1; // -2: crashed; -1: still running when given up on
    QString out;
    QString err;
};

// The built program, copied into folder so that its program folder is ours, set to run
// without a display unless platform names one ("offscreen", or "xcb" for the X server the
// test runs on).
void prepareProgram(QProcess& process, const QString& folder, const QString& platform = QString());

// Runs the program in folder to its end.
ProgramRun runProgram(const QString& folder, const QStringList& arguments,
                      const QString& platform = QString());

// Registers title in the data file of the current program folder (made when missing) as a
// command that writes each of its arguments as "[argument]" into trace, then "end".
void registerTracingApp(const QString& title, const QString& trace);

} // namespace vadok::test

#pragma once

#include <QString>
#include <QStringList>

namespace vadok {

// What the first argument asks of the program before any window exists. Everything else on
// the command line (a path, an application's title, the start-up switches) is a request for
// the launcher itself.
struct ProgramOptions {
    enum class Kind {
        Launch,  // arguments holds the request for the launcher, possibly empty
        Help,    // --help, -h: the usage on standard output
        Version, // --version: the program's name and version on standard output
        Unknown, // an option we do not know: arguments[0] names it
    };
    Kind kind = Kind::Launch;
    QStringList arguments;
};

// Reads the options from the split arguments (without the program's own name). Only the
// first argument can be an option, as the arguments after an application's title are handed
// to that application. An argument that names an existing file or folder is never an
// option, and "--" ends the options, so a title such as "--x" can still be launched.
ProgramOptions ReadProgramOptions(const QStringList& arguments);

// The text --help prints; names the program as "vadok".
QString UsageText();

} // namespace vadok

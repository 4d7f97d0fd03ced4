#pragma once

#include <QString>

namespace vadok {

// Result codes of the desktop's "open" action, with the meanings the launcher's messages
// expect: a value above 32 is success.
namespace ShellCode {
inline constexpr int OutOfResources = 0;
inline constexpr int FileNotFound = 2;
inline constexpr int PathNotFound = 3;
inline constexpr int AccessDenied = 5;
inline constexpr int BadFormat = 11;
inline constexpr int NoAssociation = 31;
inline constexpr int Started = 42;
} // namespace ShellCode

// Opens file the way the desktop would, without waiting: a folder in the file manager, an
// executable program directly, a Windows program (.exe, .bat, .com) through wine when wine is
// installed, anything else with the application associated with its type. file may be
// enclosed in double quotes and may be relative to workingFolder; when no file has exactly
// that name, a name differing only in letter case is taken. parameters are split like a shell
// would split them.
int ShellOpen(const QString& file, const QString& parameters, const QString& workingFolder);

// path itself when it exists; otherwise the existing path that differs from it only in the
// letter case of its components; otherwise an empty string.
QString ResolvePathIgnoringCase(const QString& path);

// Whether ShellOpen would start file (as it takes it) through wine while wine has no prefix
// for this user yet ($WINEPREFIX, else ~/.wine): wine builds it first, and the program shows
// only after a while.
bool StartBuildsWinePrefix(const QString& file);

// A command's file as ShellOpen takes it: without the double quotes around it.
QString WithoutQuotes(QString text);

} // namespace vadok

#pragma once

#include <string>
#include <string_view>

namespace glimtake {

// The whole command line as the launcher's platform would hand it over: the program path in
// double quotes, one space, then the target as typed. Rebuilt from argv, so a target given as
// several words (an unquoted path with spaces) comes back joined by single spaces.
std::string wholeCommandLine(int argc, const char* const* argv);

// The target path: everything from two characters after the second double quote, with its
// enclosing double quotes removed (the closing one only when present). Empty when the line
// holds fewer than two double quotes or nothing after them.
std::string targetFromCommandLine(std::string_view line);

} // namespace glimtake

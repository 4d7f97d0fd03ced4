#include "commandline.h"

#include <algorithm>

namespace glimtake {

std::string wholeCommandLine(int argc, const char* const* argv) {
    // A quote inside the program's own path would move the place where the target starts.
    std::string program = argc > 0 && argv[0] ? argv[0] : "glimtake";
    program.erase(std::remove(program.begin(), program.end(), '"'), program.end());
    std::string line = '"' + program + "\" ";
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return line;
}

std::string targetFromCommandLine(std::string_view line) {
    const std::size_t first = line.find('"');
    if (first == std::string_view::npos)
        return {};
    const std::size_t second = line.find('"', first + 1);
    if (second == std::string_view::npos || second + 2 > line.size())
        return {};
    std::string_view target = line.substr(second + 2);
    if (!target.empty() && target.front() == '"') {
        target.remove_prefix(1);
        if (!target.empty() && target.back() == '"')
            target.remove_suffix(1);
    }
    return std::string(target);
}

} // namespace glimtake

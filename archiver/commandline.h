#pragma once

#include <optional>
#include <string>

namespace vadok::archiver {

// One parsed command string. The accepted forms are exactly:
//   Unlha: u -d1 -y1 -h2 -jm2 [-n ] "archive" "folder/" *
//          x -d1 -y1 [-n ] "archive" "folder/" *
//   UnZip: -xs [-n ] "archive" "folder/"
// Switches may come in any order but each exactly once; "-n " is optional everywhere.
// Paths are double-quoted, may hold spaces, and the folder ends in "/".
struct ArchiverCommand {
    enum class Operation { Store, Expand, ExpandZip };
    Operation operation = Operation::Expand;
    bool quiet = false;
    std::string archive;
    std::string folder;
};

std::optional<ArchiverCommand> parseUnlhaCommand(const std::string& command);
std::optional<ArchiverCommand> parseUnzipCommand(const std::string& command);

} // namespace vadok::archiver

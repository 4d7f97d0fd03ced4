#pragma once

#include <string>
#include <vector>

namespace vadok::archiver {

// What copying a folder came to (archiver.h, CopyFolder).
struct FolderCopyResult {
    int code = 0;     // an ArchiverCode
    std::string path; // what the failure concerns, relative to the source; "" for a folder itself
    int error = 0;    // the errno of the failure; 0 when the file changed while it was copied
    std::vector<std::string> warnings; // what was left out, and why
    bool linksListed = false; // links the destination cannot hold were listed, not made
};

FolderCopyResult copyFolder(const std::string& source, const std::string& dest);

} // namespace vadok::archiver

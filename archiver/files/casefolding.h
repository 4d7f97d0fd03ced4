#pragma once

#include <string>
#include <string_view>

namespace vadok::archiver {

// File systems that tell names apart by their letters but not by case: exFAT and FAT on
// sticks and cards. Members whose names differ in case alone land on one file there. Two
// writer threads that meet on it (one replacing the file the other has open) killed
// exfat-fuse, so an expansion asks once how its destination compares names and writes such
// members on one thread in archive order: the last one stays.
enum class CaseFolding {
    None,    // names differ when any byte differs
    Ascii,   // a-z and A-Z are one letter each
    Unicode, // letters of other scripts fold too, one character to one (exFAT's table)
};

// How the file system of folder compares names: asked with a hidden file made in it and
// looked up under its name in upper case, then removed. A folder that takes no such file
// counts as folding nothing.
CaseFolding caseFoldingOf(const std::string& folder);

// path as such a file system compares it: every letter in upper case (the bytes that are no
// UTF-8 as they are).
std::string foldedPath(std::string_view path, CaseFolding folding);

} // namespace vadok::archiver

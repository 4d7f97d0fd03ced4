#pragma once

#include "files/linkstandins.h"
#include "lzh/lzhmember.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace vadok::archiver {

class SourceFolder;

struct SourceEntry {
    MemberKind kind = MemberKind::File;
    std::string path;       // relative, "/"-separated
    std::string linkTarget; // symbolic links
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    std::uint32_t mtimeNsec = 0;
    std::uint16_t mode = 0; // st_mode, type bits included
    // False where the folder's file system keeps no modes and its list of stand-ins gives
    // none: the mode then says nothing.
    bool modeKnown = true;
    struct timespec changed {}; // st_ctim: when the file or folder last changed in any way
};

struct FolderScan {
    bool ok = false;
    int code = 0; // the ArchiverCode of a failed scan
    std::string error;
    std::string path; // relative to the folder: the entry a failed scan stopped at, if any
    int errorNumber = 0; // the errno of a read that failed it
    std::vector<SourceEntry> entries; // each folder before its contents, names in byte order
    std::vector<std::string> warnings;
    std::string standInList; // the name of the list of stand-ins left out, "" for none
};

// Everything below folder that goes into an archive. Symbolic links are kept as links when
// they lead to a place inside folder, following the folder's other links as an expansion
// will (memberpaths.h); links pointing out, links whose name holds "|" (the
// format's link separator) and special files are left out with a warning. A name holding
// the byte 0xFF fails the scan: LZH headers use that byte between folder names, so the
// member would come back under another path. Folders are never entered through a link:
// one replaced by a link during the scan fails it with ArchiverReadError.
// An archive kept inside the folder it stores would grow by its previous version on every
// store: archivePath, any other name for the same file and the temporary a killed store
// into it recorded in its lock file (archivelock.h) are left out; a user's file that is
// only named like a temporary is not.
// The list of links and modes an expansion onto a file system without them left at the top
// (linkstandins.h) is never stored itself; with takeStandIns its records are taken back:
// stand-ins still equal to what their links lead to become the links again, and where the
// file system keeps no modes, every file and folder has its listed mode or none known. Without
// it the scan is of the folder as it stands on disk.
// found, when given, hears of each regular file as the walk meets it, on the scanning thread,
// so that work on it can start before the scan ends; an entry may still be taken back as a
// link or left out once the walk is done.
using FoundFile = std::function<void(const SourceEntry&)>;
FolderScan scanFolder(const SourceFolder& folder, const std::string& archivePath,
                      bool takeStandIns = true, const FoundFile& found = {});

// Whether the archive lies in folder or below it, where the scan meets what a store writes
// beside the archive.
bool archiveLiesInside(const std::string& folder, const std::string& archivePath);

// Where the folder's file system holds no links: an entry of the scan that stands where the
// old archive holds a link (archiveLinks, as the archive gives them), and holds what that
// link leads to in the folder, is a stand-in without a list (a copy that followed links, as
// copying onto a USB stick does) and goes back in as the link. Anything else stays as it is.
void takeBackArchiveLinks(FolderScan& scan, const std::string& folder,
                          const std::vector<LinkRecord>& archiveLinks,
                          const ArchiverSeams& seams);

} // namespace vadok::archiver

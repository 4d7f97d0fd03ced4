#pragma once

#include "base/seams.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <sys/types.h>

namespace vadok::archiver {

// The files and symbolic links of an expansion, written below the destination (open as root)
// by their relative paths through openBeneath, so that no link, old or new, ever leads a
// write elsewhere. The folders they go in exist already: an expansion makes a member's
// folders before the member. Whatever else stands at a member's path is removed first, a folder only when it is
// empty. Permission bits are the member's with owner read and write added, less the set-id
// and sticky bits, and less the umask, which the kernel applies; times are set as the member
// gives them (UTIME_OMIT where it gives none). Unlike libarchive's disk writer these touch no
// process-wide state (it switches the umask on every header), so several threads may write
// at once.
//
// Each returns false and says why in error.
//
// mask is taken from the mode as well: given the umask, a file comes out the same while
// libarchive's writer has it switched to 0 on another thread.
//
// folder, when not -1, is the member's folder open, where the file is created by the last
// part of path alone, without looking up the folders above it again.
bool createMemberFile(int root, const std::string& path, mode_t mode, int& fd, std::string& error,
                      mode_t mask = 0, int folder = -1);
bool writeMemberData(int fd, const void* data, std::size_t size, std::uint64_t offset,
                     std::string& error);
// Sets the times and closes fd, also when that fails.
bool finishMemberFile(int fd, const struct timespec times[2], std::string& error);
// unsupported tells a failure because the file system holds no links (linkstandins.h).
bool placeMemberLink(int root, const std::string& path, const std::string& target,
                     const struct timespec times[2], const ArchiverSeams& seams,
                     std::string& error, bool& unsupported);

// The folder name in the folder open as parent, opened without following a link. A folder
// already there is kept as it is; where there is none, one is made with mode (the umask
// still applies), a file or a link standing there removed first. made tells which; -1 with
// errno set when neither works. expected: a folder is likely there, so it is looked for
// before one is made.
int openOrMakeFolder(int parent, const char* name, mode_t mode, bool expected, bool& made);

// Removes what stands at path below root, a folder with everything in it, without following
// a link anywhere (a link is removed, never what it leads to); a folder that does not let
// its owner in is opened up first. True when nothing stands there any more.
bool removeBeneath(int root, const std::string& path);

} // namespace vadok::archiver

#pragma once

#include <string>
#include <sys/types.h>

namespace vadok::archiver {

// Opens path (relative, "/"-separated, no "." or ".." parts) below the folder open as root,
// without following a symbolic link anywhere on the way or at its end: a folder that some
// other program swaps for a link can never lead a read or a write outside root. Takes the
// flags and mode of openat (O_NOFOLLOW and O_CLOEXEC are added); -1 with errno set when that
// fails.
int openBeneath(int root, const std::string& path, int flags, mode_t mode = 0);

// fd when it is open on a regular file; otherwise closes it and returns -1 (also for -1). What
// stands at a name may be a FIFO or a device that some other program put there.
int regularFileOrClose(int fd);

} // namespace vadok::archiver

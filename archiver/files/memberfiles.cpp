#include "memberfiles.h"

#include "linkstandins.h"
#include "openbeneath.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vadok::archiver {

namespace {

std::string why(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// The folder of path open below root (root itself for a top-level name), with the name in it.
struct Parent {
    int fd = -1;
    bool owned = false;
    std::string name;
    ~Parent() {
        if (owned)
            ::close(fd);
    }
};

bool openParent(int root, const std::string& path, Parent& parent) {
    const std::size_t slash = path.rfind('/');
    parent.name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (slash == std::string::npos) {
        parent.fd = root;
        return true;
    }
    parent.fd = openBeneath(root, path.substr(0, slash), O_RDONLY | O_DIRECTORY);
    parent.owned = parent.fd >= 0;
    return parent.owned;
}

// Removes what stands at the name: a file, a link, or an empty folder.
bool removeExisting(const Parent& parent) {
    if (::unlinkat(parent.fd, parent.name.c_str(), 0) == 0 || errno == ENOENT)
        return true;
    return errno == EISDIR && ::unlinkat(parent.fd, parent.name.c_str(), AT_REMOVEDIR) == 0;
}

// Removes the entry name of the folder open as dir, and everything below it.
bool removeAt(int dir, const char* name) {
    if (::unlinkat(dir, name, 0) == 0 || errno == ENOENT)
        return true;
    if (errno != EISDIR)
        return false;
    int fd = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES && ::fchmodat(dir, name, 0700, 0) == 0)
        fd = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    // Its entries are read first and removed after: removing while reading may skip some.
    std::vector<std::string> names;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return false;
    }
    while (const dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    // A folder its owner may not write to keeps its entries.
    struct stat st {};
    if (::fstat(::dirfd(d), &st) == 0 && (st.st_mode & 0700) != 0700)
        ::fchmod(::dirfd(d), (st.st_mode & 07777) | 0700);
    bool ok = true;
    for (const auto& n : names)
        ok = removeAt(::dirfd(d), n.c_str()) && ok;
    ::closedir(d);
    return (::unlinkat(dir, name, AT_REMOVEDIR) == 0 || errno == ENOENT) && ok;
}

} // namespace

bool createMemberFile(int root, const std::string& path, mode_t mode, int& fd, std::string& error,
                      mode_t mask, int folder) {
    const int flags = O_WRONLY | O_CREAT | O_EXCL;
    // A file its owner cannot read or write could neither be expanded over nor stored again.
    const mode_t perm = ((mode & 0777) | S_IRUSR | S_IWUSR) & ~mask;
    const int from = folder >= 0 ? folder : root;
    const std::string name = folder >= 0 ? path.substr(path.rfind('/') + 1) : path;
    fd = openBeneath(from, name, flags, perm);
    if (fd < 0 && errno == EEXIST) {
        Parent parent;
        if (!openParent(from, name, parent) || !removeExisting(parent)) {
            error = why("cannot replace", path);
            return false;
        }
        fd = ::openat(parent.fd, parent.name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, perm);
    }
    if (fd < 0) {
        error = why("cannot create", path);
        return false;
    }
    return true;
}

bool writeMemberData(int fd, const void* data, std::size_t size, std::uint64_t offset,
                     std::string& error) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = std::string("cannot write: ") + std::strerror(n < 0 ? errno : ENOSPC);
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool finishMemberFile(int fd, const struct timespec times[2], std::string& error) {
    const bool timed = ::futimens(fd, times) == 0;
    if (!timed)
        error = std::string("cannot set times: ") + std::strerror(errno);
    // Some file systems report a failed write only when the file is closed.
    if (::close(fd) != 0 && timed) {
        error = std::string("cannot finish: ") + std::strerror(errno);
        return false;
    }
    return timed;
}

bool placeMemberLink(int root, const std::string& path, const std::string& target,
                     const struct timespec times[2], const ArchiverSeams& seams,
                     std::string& error, bool& unsupported) {
    unsupported = false;
    Parent parent;
    if (!openParent(root, path, parent)) {
        error = why("cannot open the folder of", path);
        return false;
    }
    if (seams.refuseLinks) {
        unsupported = true;
        error = "the file system holds no links: " + path;
        return false;
    }
    if (::symlinkat(target.c_str(), parent.fd, parent.name.c_str()) != 0 &&
        (errno != EEXIST || !removeExisting(parent) ||
         ::symlinkat(target.c_str(), parent.fd, parent.name.c_str()) != 0)) {
        unsupported = linksUnsupported(errno);
        error = why("cannot create the link", path);
        return false;
    }
    if (::utimensat(parent.fd, parent.name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        error = why("cannot set times of", path);
        return false;
    }
    return true;
}

int openOrMakeFolder(int parent, const char* name, mode_t mode, bool expected, bool& made) {
    constexpr int kFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    made = false;
    if (!expected) {
        if (::mkdirat(parent, name, mode) == 0)
            made = true;
        else if (errno != EEXIST)
            return -1;
    }
    const int fd = ::openat(parent, name, kFolder);
    if (fd >= 0 || made)
        return fd;
    // A file or a link in the way: ENOTDIR for a file, ELOOP for a link, which is never
    // followed, wherever it leads.
    if (errno != ENOENT) {
        if (errno != ENOTDIR && errno != ELOOP)
            return -1;
        if (!removeExisting(Parent{parent, false, name}))
            return -1;
    }
    if (::mkdirat(parent, name, mode) != 0)
        return -1;
    made = true;
    return ::openat(parent, name, kFolder);
}

bool removeBeneath(int root, const std::string& path) {
    Parent parent;
    if (!openParent(root, path, parent))
        return errno == ENOENT;
    return removeAt(parent.fd, parent.name.c_str());
}

} // namespace vadok::archiver

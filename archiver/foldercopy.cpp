#include "foldercopy.h"

#include "archiver.h"
#include "files/expandtarget.h"
#include "store/folderscan.h"
#include "files/linkstandins.h"
#include "files/memberfiles.h"
#include "files/openbeneath.h"
#include "files/sourcefile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok::archiver {

namespace {

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

bool fail(FolderCopyResult& result, int code, std::string path, int error) {
    result.code = code;
    result.path = std::move(path);
    result.error = error;
    return false;
}

struct Times {
    struct timespec t[2];
};

Times timesOf(const SourceEntry& e) {
    Times times{};
    times.t[0] = {0, UTIME_OMIT};
    times.t[1] = {static_cast<time_t>(e.mtime), static_cast<long>(e.mtimeNsec)};
    return times;
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Made open to its owner, as an expansion makes folders; the mode comes at the end.
bool makeFolder(int root, const SourceEntry& e, FolderCopyResult& result) {
    const std::string parent = parentOf(e.path);
    Fd at{parent.empty() ? ::dup(root) : openBeneath(root, parent, O_RDONLY | O_DIRECTORY)};
    if (at.fd < 0 || ::mkdirat(at.fd, nameOf(e.path).c_str(), 0700) != 0)
        return fail(result, ArchiverWriteError, e.path, errno);
    return true;
}

bool copyFile(const SourceFolder& from, int root, const SourceEntry& e, FolderCopyResult& result) {
    int fd = -1;
    std::string error;
    if (!createMemberFile(root, e.path, e.mode & 07777, fd, error))
        return fail(result, ArchiverWriteError, e.path, errno);
    std::uint64_t offset = 0;
    int writeError = 0;
    const SourceRead read = from.readFile(
        e.path, {e.size, e.mtime, e.mtimeNsec}, [&](const std::uint8_t* p, std::size_t n) {
            if (writeError == 0 && !writeMemberData(fd, p, n, offset, error))
                writeError = errno != 0 ? errno : ENOSPC;
            offset += n;
        });
    const Times times = timesOf(e);
    const bool finished = finishMemberFile(fd, times.t, error);
    if (read == SourceRead::CannotRead)
        return fail(result, ArchiverReadError, e.path, errno != 0 ? errno : EIO);
    if (read == SourceRead::Changed)
        return fail(result, ArchiverReadError, e.path, 0);
    if (writeError != 0)
        return fail(result, ArchiverWriteError, e.path, writeError);
    if (!finished)
        return fail(result, ArchiverWriteError, e.path, errno);
    return true;
}

// Folders get their modes and times last, deepest first, once nothing more is written in
// them.
bool finishFolders(int root, const std::vector<const SourceEntry*>& folders,
                   FolderCopyResult& result) {
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        const SourceEntry& e = **it;
        Fd fd{openBeneath(root, e.path, O_RDONLY | O_DIRECTORY)};
        const Times times = timesOf(e);
        if (fd.fd < 0 || ::fchmod(fd.fd, (e.mode & 0777) | S_IRWXU) != 0 ||
            ::futimens(fd.fd, times.t) != 0)
            return fail(result, ArchiverWriteError, e.path, errno);
    }
    return true;
}

bool copyEntries(const SourceFolder& from, const FolderScan& scan, const std::string& root,
                 FolderCopyResult& result) {
    Fd rootFd{::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (rootFd.fd < 0)
        return fail(result, ArchiverCannotCreate, {}, errno);
    RefusedLinks refused(!fileSystemKeepsModes(root));
    std::vector<const SourceEntry*> folders;
    std::vector<std::string_view> topNames;
    for (const SourceEntry& e : scan.entries) {
        if (e.path.find('/') == std::string::npos)
            topNames.push_back(e.path);
        if (e.kind == MemberKind::Directory) {
            if (!makeFolder(rootFd.fd, e, result))
                return false;
            folders.push_back(&e);
            refused.addMode(e.path, e.mode, true);
        } else if (e.kind == MemberKind::File) {
            if (!copyFile(from, rootFd.fd, e, result))
                return false;
            refused.addMode(e.path, e.mode);
        } else {
            std::string error;
            bool unsupported = false;
            const Times times = timesOf(e);
            if (placeMemberLink(rootFd.fd, e.path, e.linkTarget, times.t, ArchiverSeams(), error,
                                unsupported))
                continue;
            if (!unsupported)
                return fail(result, ArchiverWriteError, e.path, errno);
            refused.add({e.path, e.linkTarget, e.mtime});
        }
    }
    // As an expansion does: the list goes after any of its names the folder holds itself.
    const std::uint64_t taken = highestStandInListIndex(topNames);
    const StandInList list = refused.take();
    result.linksListed = !list.links.empty();
    if (!list.empty() || taken > 0) {
        std::string error;
        if (!makeLinkStandIns(root, list, standInListName(taken + 1), error))
            return fail(result, ArchiverWriteError, standInListName(taken + 1), errno);
    }
    return finishFolders(rootFd.fd, folders, result);
}

} // namespace

FolderCopyResult copyFolder(const std::string& source, const std::string& dest) {
    FolderCopyResult result;
    const SourceFolder from(source);
    if (!from.isOpen()) {
        fail(result, ArchiverCannotOpen, {}, errno);
        return result;
    }
    // The source as a store of it would take it: no link followed, links leading out and
    // special files left out.
    const FolderScan scan = scanFolder(from, {}, false);
    if (!scan.ok) {
        fail(result, scan.code, scan.path, scan.errorNumber);
        return result;
    }
    result.warnings = scan.warnings;
    ExpandTarget target;
    std::string error;
    if (!target.open(dest, error)) {
        fail(result, ArchiverCannotCreate, {}, errno);
        return result;
    }
    if (!target.staged()) {
        std::vector<std::string_view> paths;
        for (const SourceEntry& e : scan.entries)
            paths.push_back(e.path);
        target.noteNewPaths(paths);
    }
    if (!copyEntries(from, scan, target.writeRoot(), result))
        return result;
    if (!target.commit(error))
        fail(result, ArchiverWriteError, {}, errno);
    return result;
}

} // namespace vadok::archiver

namespace vadok {

FolderCopy CopyFolder(const std::string& source, const std::string& dest) {
    const archiver::FolderCopyResult r = archiver::copyFolder(source, dest);
    return {r.code, r.path, r.error, r.warnings, r.linksListed};
}

int CarryStandIns(const std::string& listFolder, const std::string& from, const std::string& toTop,
                  const std::string& to, const std::vector<std::string>& names) {
    std::string error;
    return archiver::carryStandIns(listFolder, from, toTop, to, names, error) == 0
               ? ArchiverOk
               : ArchiverWriteError;
}

bool IsStandInListName(const std::string& name) { return archiver::standInListIndex(name) > 0; }

} // namespace vadok

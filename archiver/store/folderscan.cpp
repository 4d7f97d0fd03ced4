#include "folderscan.h"

#include "base/codes.h"
#include "files/archivelock.h"
#include "files/linkstandins.h"
#include "files/sourcefile.h"
#include "names/memberpaths.h"

#include <algorithm>
#include <unordered_map>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok::archiver {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// The archive being written, so that the scan can leave it out.
struct ArchiveToSkip {
    std::string folder; // relative to the scanned folder, "" for the folder itself
    bool inside = false;
    std::string name;
    std::string lock;      // the lock file of its stores
    std::string temporary; // what a killed store left, which the next store removes
    dev_t device = 0;
    ino_t inode = 0;
    bool standInList = false; // the folder holds a list of stand-ins an expansion wrote

    bool skips(const std::string& rel, const std::string& n, const struct stat& st) const {
        if (standInList && rel.empty() && n == kStandInListName)
            return true;
        if (S_ISREG(st.st_mode) && st.st_ino == inode && st.st_dev == device && inode != 0)
            return true;
        return inside && rel == folder &&
               (n == name || n == lock || (!temporary.empty() && n == temporary));
    }
};

ArchiveToSkip archiveToSkip(const std::string& folderPath, const std::string& archivePath) {
    ArchiveToSkip skip;
    const std::size_t slash = archivePath.rfind('/');
    skip.name = slash == std::string::npos ? archivePath : archivePath.substr(slash + 1);
    skip.lock = ArchiveLock::temporaryPrefixOf(archivePath) + "lock";
    skip.temporary = ArchiveLock::recordedTemporaryOf(archivePath);
    struct stat st {};
    if (::stat(archivePath.c_str(), &st) == 0) {
        skip.device = st.st_dev;
        skip.inode = st.st_ino;
    }
    char resolved[PATH_MAX];
    const std::string parent = slash == std::string::npos ? "." : archivePath.substr(0, slash + 1);
    if (!::realpath(parent.c_str(), resolved))
        return skip;
    const std::string archiveFolder = resolved;
    if (!::realpath(folderPath.c_str(), resolved))
        return skip;
    const std::string root = resolved;
    if (archiveFolder == root) {
        skip.inside = true;
    } else if (archiveFolder.size() > root.size() &&
               archiveFolder.compare(0, root.size(), root) == 0 &&
               (root == "/" || archiveFolder[root.size()] == '/')) {
        skip.inside = true;
        skip.folder = archiveFolder.substr(root == "/" ? 1 : root.size() + 1);
    }
    return skip;
}

// Folders are opened relative to their parent and never through a link, so a folder
// replaced by a link while the scan runs ends the scan instead of leading it elsewhere.
void walk(int dirFd, const std::string& rel, const std::string& root, const ArchiveToSkip& skip,
          FolderScan& scan) {
    auto fail = [&](int code, std::string error) {
        scan.ok = false;
        scan.code = code;
        scan.error = std::move(error);
    };
    std::unique_ptr<DIR, DirCloser> d(::fdopendir(dirFd));
    if (!d) {
        ::close(dirFd);
        return fail(ArchiverReadError, "cannot read folder " + root + "/" + rel);
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d.get())) {
        const std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    std::sort(names.begin(), names.end());
    const int fd = ::dirfd(d.get());
    for (const auto& n : names) {
        const std::string relPath = rel.empty() ? n : rel + "/" + n;
        auto full = [&] { return root + "/" + relPath; };
        if (n.find('\xFF') != std::string::npos)
            return fail(ArchiverUnsupported,
                        "name holds the byte 0xFF, which LZH reserves: " + full());
        struct stat st {};
        if (::fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(ArchiverReadError, "cannot read " + full());
        if (skip.skips(rel, n, st))
            continue;
        SourceEntry entry;
        entry.path = relPath;
        entry.mtime = st.st_mtim.tv_sec;
        entry.mtimeNsec = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
        entry.mode = static_cast<std::uint16_t>(st.st_mode);
        entry.changed = st.st_ctim;
        if (S_ISDIR(st.st_mode)) {
            entry.kind = MemberKind::Directory;
            scan.entries.push_back(entry);
            const int child =
                ::openat(fd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0)
                return fail(ArchiverReadError, "cannot read folder " + full());
            walk(child, relPath, root, skip, scan);
            if (!scan.ok)
                return;
        } else if (S_ISREG(st.st_mode)) {
            entry.kind = MemberKind::File;
            entry.size = static_cast<std::uint64_t>(st.st_size);
            scan.entries.push_back(std::move(entry));
        } else if (S_ISLNK(st.st_mode)) {
            std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1,
                               '\0');
            const ssize_t n2 = ::readlinkat(fd, n.c_str(), target.data(), target.size());
            if (n2 < 0)
                return fail(ArchiverReadError, "cannot read link " + full());
            target.resize(static_cast<std::size_t>(n2));
            if (relPath.find('|') != std::string::npos) {
                scan.warnings.push_back("skipped symbolic link with \"|\" in its name: " + relPath);
            } else {
                entry.kind = MemberKind::Symlink;
                entry.linkTarget = std::move(target);
                scan.entries.push_back(std::move(entry));
            }
        } else {
            scan.warnings.push_back("skipped special file: " + relPath);
        }
    }
}

// The links an expansion onto a file system without links left as stand-ins go back in as
// links (linkstandins.h).
void takeBackListedLinks(FolderScan& scan, const std::string& folder) {
    const StandInList list = readStandInList(folder + "/");
    const std::vector<LinkRecord>& links = list.links;
    if (!list.modes.empty() && !fileSystemKeepsModes(folder)) {
        std::unordered_map<std::string_view, std::uint32_t> modes;
        for (const ModeRecord& m : list.modes)
            modes[m.path] = m.mode;
        for (SourceEntry& e : scan.entries)
            if (const auto it = modes.find(e.path); it != modes.end() && e.kind == MemberKind::File)
                e.mode = static_cast<std::uint16_t>((e.mode & S_IFMT) | it->second);
    }
    for (const LinkRecord& link : links) {
        const auto it = std::find_if(scan.entries.begin(), scan.entries.end(),
                                     [&](const SourceEntry& e) { return e.path == link.path; });
        SourceEntry entry;
        entry.kind = MemberKind::Symlink;
        entry.path = link.path;
        entry.linkTarget = link.target;
        entry.mode = S_IFLNK | 0777;
        entry.mtime = link.mtime;
        if (it == scan.entries.end()) {
            // Its folder must be there: a link stands in no folder the scan did not see.
            const std::size_t slash = link.path.rfind('/');
            const bool placed =
                slash == std::string::npos ||
                std::any_of(scan.entries.begin(), scan.entries.end(), [&](const SourceEntry& e) {
                    return e.kind == MemberKind::Directory && e.path == link.path.substr(0, slash);
                });
            if (placed)
                scan.entries.push_back(std::move(entry));
            continue;
        }
        if (it->kind == MemberKind::Symlink)
            continue;
        const auto source = resolveListedLink(link.path, link.target, links);
        if (!source || !sameContent(folder + "/", link.path, *source)) {
            scan.warnings.push_back("stored as it now is, not as the link it stood in for: " +
                                    link.path + " (it was changed)");
            continue;
        }
        entry.changed = it->changed;
        const std::string below = link.path + "/";
        const bool folderStandIn = it->kind == MemberKind::Directory;
        *it = std::move(entry);
        if (folderStandIn)
            std::erase_if(scan.entries, [&](const SourceEntry& e) {
                return e.path.compare(0, below.size(), below) == 0;
            });
    }
}

// Links are judged as an expansion will judge them, through the folder's other links; as
// leaving one out changes where links through it lead, this repeats until all stay inside.
void dropLinksLeadingOut(FolderScan& scan) {
    // Names read from a folder are always safe; only links can lead out.
    if (std::none_of(scan.entries.begin(), scan.entries.end(),
                     [](const SourceEntry& e) { return e.kind == MemberKind::Symlink; }))
        return;
    while (true) {
        std::vector<PathMember> members;
        members.reserve(scan.entries.size());
        for (const auto& e : scan.entries)
            members.push_back({e.path, e.kind, e.linkTarget});
        const auto problems = findUnsafeMembers(members, {}, false);
        if (problems.empty())
            return;
        std::vector<bool> drop(scan.entries.size(), false);
        for (const auto& p : problems) {
            drop[p.member] = true;
            const SourceEntry& e = scan.entries[p.member];
            scan.warnings.push_back("skipped symbolic link pointing outside the folder: " +
                                    e.path + " -> " + e.linkTarget);
        }
        std::size_t i = 0;
        std::erase_if(scan.entries, [&](const SourceEntry&) { return drop[i++]; });
    }
}

} // namespace

FolderScan scanFolder(const SourceFolder& folder, const std::string& archivePath) {
    FolderScan scan;
    if (!folder.isOpen()) {
        scan.code = ArchiverCannotOpen;
        scan.error = "not a folder: " + folder.path();
        return scan;
    }
    const int fd = ::dup(folder.fd());
    if (fd < 0) {
        scan.code = ArchiverCannotOpen;
        scan.error = "cannot read folder " + folder.path();
        return scan;
    }
    scan.ok = true;
    ArchiveToSkip skip = archiveToSkip(folder.path(), archivePath);
    // A file of the user's that only has the list's name is stored like any other.
    skip.standInList = isStandInList(folder.path() + "/");
    walk(fd, "", folder.path(), skip, scan);
    if (scan.ok)
        takeBackListedLinks(scan, folder.path());
    if (scan.ok)
        dropLinksLeadingOut(scan);
    return scan;
}

} // namespace vadok::archiver

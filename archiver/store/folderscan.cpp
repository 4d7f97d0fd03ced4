#include "folderscan.h"

#include "base/codes.h"
#include "files/archivelock.h"
#include "files/linkstandins.h"
#include "files/sourcefile.h"
#include "names/memberpaths.h"
#include "prefault.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok::archiver {

namespace {

// Closes a folder's descriptor when its walk ends, however it ends.
struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

// A folder's names, each ending in a NUL byte, in one buffer: a string for each name was an
// allocation for each of the thousands of files an application holds.
struct FolderNames {
    struct Name {
        std::uint32_t at;
        std::uint32_t size;
    };
    std::string bytes;
    std::vector<Name> names;

    void add(std::string_view name) {
        names.push_back(
            {static_cast<std::uint32_t>(bytes.size()), static_cast<std::uint32_t>(name.size())});
        bytes.append(name);
        bytes.push_back('\0');
    }
    std::string_view view(const Name& n) const { return {bytes.data() + n.at, n.size}; }
    const char* cString(const Name& n) const { return bytes.data() + n.at; }
    // In byte order.
    void sort() {
        std::sort(names.begin(), names.end(),
                  [&](const Name& a, const Name& b) { return view(a) < view(b); });
    }
};

// The names in the folder open as fd, "." and ".." left out; false when it cannot be read.
// Read straight from the kernel: a directory stream would allocate its own buffer and look
// at the descriptor's flags for each of the thousands of folders an application holds.
bool readNames(int fd, FolderNames& names) {
    alignas(struct dirent64) static thread_local char buffer[32768];
    while (true) {
        const ssize_t n = ::getdents64(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += e->d_reclen;
            const std::string_view name = e->d_name;
            if (name != "." && name != "..")
                names.add(name);
        }
    }
}

// The archive being written, so that the scan can leave it out.
struct ArchiveToSkip {
    std::string folder; // relative to the scanned folder, "" for the folder itself
    bool inside = false;
    std::string name;
    std::string temporary; // what a killed store left, which the next store removes
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t archiveSize = 0; // of the archive as it is before this store

    bool skips(const std::string& rel, std::string_view n, const struct stat& st) const {
        if (S_ISREG(st.st_mode) && st.st_ino == inode && st.st_dev == device && inode != 0)
            return true;
        return inside && rel == folder &&
               (n == name || (!temporary.empty() && n == temporary));
    }
};

// The archive's folder relative to folderPath ("" for folderPath itself) when it lies inside.
std::optional<std::string> archiveFolderWithin(const std::string& folderPath,
                                               const std::string& archivePath) {
    const std::size_t slash = archivePath.rfind('/');
    char resolved[PATH_MAX];
    const std::string parent = slash == std::string::npos ? "." : archivePath.substr(0, slash + 1);
    if (!::realpath(parent.c_str(), resolved))
        return std::nullopt;
    const std::string archiveFolder = resolved;
    if (!::realpath(folderPath.c_str(), resolved))
        return std::nullopt;
    const std::string root = resolved;
    if (archiveFolder == root)
        return std::string();
    if (archiveFolder.size() > root.size() && archiveFolder.compare(0, root.size(), root) == 0 &&
        (root == "/" || archiveFolder[root.size()] == '/'))
        return archiveFolder.substr(root == "/" ? 1 : root.size() + 1);
    return std::nullopt;
}

ArchiveToSkip archiveToSkip(const std::string& folderPath, const std::string& archivePath) {
    ArchiveToSkip skip;
    const std::size_t slash = archivePath.rfind('/');
    skip.name = slash == std::string::npos ? archivePath : archivePath.substr(slash + 1);
    skip.temporary = ArchiveLock::recordedTemporaryOf(archivePath);
    struct stat st {};
    if (::stat(archivePath.c_str(), &st) == 0) {
        skip.device = st.st_dev;
        skip.inode = st.st_ino;
        skip.archiveSize = static_cast<std::uint64_t>(st.st_size);
    }
    if (const auto folder = archiveFolderWithin(folderPath, archivePath)) {
        skip.inside = true;
        skip.folder = *folder;
    }
    return skip;
}

// The room reserved for entries is backed a stretch at a time as the list reaches it, not a
// page fault at a time.
void prefaultAhead(std::vector<SourceEntry>& entries) {
    constexpr std::size_t kStretch = 2048; // entries: over 200 KiB
    if (entries.size() % kStretch == 0 && entries.capacity() > entries.size())
        prefaultForWriting(entries.data() + entries.size(),
                           std::min(kStretch, entries.capacity() - entries.size()) *
                               sizeof(SourceEntry));
}

// Folders are opened relative to their parent and never through a link, so a folder
// replaced by a link while the scan runs ends the scan instead of leading it elsewhere.
void walk(int dirFd, const std::string& rel, const std::string& root, const ArchiveToSkip& skip,
          const FoundFile& found, FolderScan& scan) {
    auto fail = [&](int code, std::string error, std::string path = {}) {
        scan.errorNumber = code == ArchiverReadError ? errno : 0;
        scan.ok = false;
        scan.code = code;
        scan.error = std::move(error);
        scan.path = std::move(path);
    };
    auto add = [&](SourceEntry&& entry) {
        prefaultAhead(scan.entries);
        scan.entries.push_back(std::move(entry));
    };
    const FdCloser closer{dirFd};
    const int fd = dirFd;
    FolderNames names;
    if (!readNames(fd, names))
        return fail(ArchiverReadError, "cannot read folder " + root + "/" + rel);
    names.sort();
    for (const FolderNames::Name& name : names.names) {
        const std::string_view n = names.view(name);
        const char* const cName = names.cString(name);
        std::string relPath;
        relPath.reserve(rel.size() + 1 + n.size());
        if (!rel.empty())
            relPath.append(rel).push_back('/');
        relPath.append(n);
        auto full = [&] { return root + "/" + relPath; };
        if (n.find('\xFF') != std::string_view::npos)
            return fail(ArchiverUnsupported,
                        "name holds the byte 0xFF, which LZH reserves: " + full(), relPath);
        struct stat st {};
        if (::fstatat(fd, cName, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(ArchiverReadError, "cannot read " + full(), relPath);
        if (skip.skips(rel, n, st))
            continue;
        // The path goes into the entry last, moved where nothing reads it after.
        SourceEntry entry;
        entry.mtime = st.st_mtim.tv_sec;
        entry.mtimeNsec = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
        entry.mode = static_cast<std::uint16_t>(st.st_mode);
        entry.changed = st.st_ctim;
        if (S_ISDIR(st.st_mode)) {
            entry.kind = MemberKind::Directory;
            entry.path = relPath;
            add(std::move(entry));
            const int child = ::openat(fd, cName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0)
                return fail(ArchiverReadError, "cannot read folder " + full(), relPath);
            walk(child, relPath, root, skip, found, scan);
            if (!scan.ok)
                return;
        } else if (S_ISREG(st.st_mode)) {
            entry.kind = MemberKind::File;
            entry.size = static_cast<std::uint64_t>(st.st_size);
            entry.path = std::move(relPath);
            add(std::move(entry));
            if (found)
                found(scan.entries.back());
        } else if (S_ISLNK(st.st_mode)) {
            std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1,
                               '\0');
            const ssize_t n2 = ::readlinkat(fd, cName, target.data(), target.size());
            if (n2 < 0)
                return fail(ArchiverReadError, "cannot read link " + full());
            target.resize(static_cast<std::size_t>(n2));
            if (relPath.find('|') != std::string::npos) {
                scan.warnings.push_back("skipped symbolic link with \"|\" in its name: " + relPath);
            } else {
                entry.kind = MemberKind::Symlink;
                entry.path = std::move(relPath);
                entry.linkTarget = std::move(target);
                add(std::move(entry));
            }
        } else {
            scan.warnings.push_back("skipped special file: " + relPath);
        }
    }
}

// The list of stand-ins at the top of the folder, when there is one: the last of the list's
// names there (linkstandins.h), a plain file that reads as a sound list. Its entry is left
// out of the scan; a file of that name that is no list stays in, with a warning.
std::optional<StandInList> takeStandInList(FolderScan& scan, const std::string& folder) {
    std::uint64_t highest = 0;
    for (const SourceEntry& e : scan.entries)
        if (e.path.find('/') == std::string::npos)
            highest = std::max(highest, standInListIndex(e.path));
    if (highest == 0)
        return std::nullopt;
    const std::string name = standInListName(highest);
    const auto entry = std::find_if(scan.entries.begin(), scan.entries.end(), [&](const SourceEntry& e) {
        return e.kind == MemberKind::File && e.path == name;
    });
    if (entry == scan.entries.end())
        return std::nullopt;
    std::string why;
    const std::optional<StandInList> list = readStandInList(folder + "/", name, why);
    if (!list) {
        scan.warnings.push_back("stored as an ordinary file, not read as the list of stand-ins: " +
                                name + " (" + why + ")");
        return std::nullopt;
    }
    scan.standInList = name;
    scan.entries.erase(entry);
    return list;
}

// Whether every file and folder shows the same permission bits, as on a file system that
// keeps no modes: only then is the file system asked, which writes into the folder.
bool modesLookAlike(const FolderScan& scan) {
    std::optional<std::uint16_t> seen;
    for (const SourceEntry& e : scan.entries) {
        if (e.kind == MemberKind::Symlink)
            continue;
        const auto bits = static_cast<std::uint16_t>(e.mode & 07777);
        if (seen && *seen != bits)
            return false;
        seen = bits;
    }
    return true;
}

// Modes where the folder's file system keeps none: the listed ones, else none known (the
// plan then takes them from the old archive, or plain ones).
void takeBackListedModes(FolderScan& scan, const StandInList& list) {
    std::unordered_map<std::string_view, const ModeRecord*> modes;
    modes.reserve(list.modes.size());
    for (const ModeRecord& m : list.modes)
        modes[m.path] = &m;
    for (SourceEntry& e : scan.entries) {
        if (e.kind == MemberKind::Symlink)
            continue;
        const auto it = modes.find(e.path);
        const bool folder = e.kind == MemberKind::Directory;
        if (it != modes.end() && it->second->folder == folder)
            e.mode = static_cast<std::uint16_t>((e.mode & S_IFMT) | it->second->mode);
        else
            e.modeKnown = false;
    }
}

// The links an expansion onto a file system without links left as stand-ins go back in as
// links (linkstandins.h). Linear in entries and records, apart from comparing each stand-in
// with what its link leads to.
void takeBackListedLinks(FolderScan& scan, const std::string& folder, const StandInList& list,
                         bool fromArchive = false) {
    if (list.links.empty())
        return;
    std::unordered_map<std::string_view, std::size_t> byPath;
    byPath.reserve(scan.entries.size());
    for (std::size_t i = 0; i < scan.entries.size(); ++i)
        byPath.emplace(scan.entries[i].path, i);
    const ListedLinks links(list.links);
    std::vector<SourceEntry> added;
    std::unordered_set<std::string> folderStandIns;
    for (const LinkRecord& link : list.links) {
        const auto it = byPath.find(link.path);
        if (it == byPath.end()) {
            // Its folder must be there: a link stands in no folder the scan did not see.
            const std::size_t slash = link.path.rfind('/');
            const auto parent = slash == std::string::npos
                                    ? byPath.end()
                                    : byPath.find(std::string_view(link.path).substr(0, slash));
            // The old archive keeps its own links that the folder no longer has.
            if (fromArchive || (slash != std::string::npos &&
                                (parent == byPath.end() ||
                                 scan.entries[parent->second].kind != MemberKind::Directory)))
                continue;
            SourceEntry entry;
            entry.kind = MemberKind::Symlink;
            entry.path = link.path;
            entry.linkTarget = link.target;
            entry.mode = S_IFLNK | 0777;
            entry.mtime = link.mtime;
            added.push_back(std::move(entry));
            continue;
        }
        SourceEntry& e = scan.entries[it->second];
        if (e.kind == MemberKind::Symlink)
            continue;
        const auto source = links.resolveLink(link.path, link.target);
        if (!source || !sameContent(folder + "/", link.path, *source)) {
            if (!fromArchive)
                scan.warnings.push_back("stored as it now is, not as the link it stood in for: " +
                                        link.path + " (it was changed)");
            continue;
        }
        if (e.kind == MemberKind::Directory)
            folderStandIns.insert(link.path);
        // The path stays: byPath looks at it.
        e.kind = MemberKind::Symlink;
        e.linkTarget = link.target;
        e.mode = S_IFLNK | 0777;
        e.modeKnown = true;
        e.size = 0;
        e.mtime = link.mtime;
        e.mtimeNsec = 0;
    }
    if (!folderStandIns.empty())
        std::erase_if(scan.entries, [&](const SourceEntry& e) {
            for (std::size_t slash = e.path.find('/'); slash != std::string::npos;
                 slash = e.path.find('/', slash + 1))
                if (folderStandIns.count(e.path.substr(0, slash)))
                    return true;
            return false;
        });
    for (SourceEntry& e : added)
        scan.entries.push_back(std::move(e));
}

} // namespace

void takeBackArchiveLinks(FolderScan& scan, const std::string& folder,
                          const std::vector<LinkRecord>& archiveLinks,
                          const ArchiverSeams& seams) {
    if (archiveLinks.empty())
        return;
    std::unordered_set<std::string_view> standing;
    for (const SourceEntry& e : scan.entries)
        if (e.kind != MemberKind::Symlink)
            standing.insert(e.path);
    const bool anyStandIn = std::any_of(archiveLinks.begin(), archiveLinks.end(),
                                        [&](const LinkRecord& l) { return standing.count(l.path); });
    // Only where no link can be made: elsewhere a file or folder that replaced a link is the
    // user's own doing.
    if (!anyStandIn || fileSystemHoldsLinks(folder, seams))
        return;
    StandInList list;
    list.links = archiveLinks;
    takeBackListedLinks(scan, folder, list, true);
}

namespace {

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

bool archiveLiesInside(const std::string& folder, const std::string& archivePath) {
    return archiveFolderWithin(folder, archivePath).has_value();
}

FolderScan scanFolder(const SourceFolder& folder, const std::string& archivePath,
                      bool takeStandIns, const FoundFile& found) {
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
    const ArchiveToSkip skip = archiveToSkip(folder.path(), archivePath);
    // A folder stored before holds about as many entries as its archive holds members: room
    // for those of an archive whose members average 256 bytes or more spares the list its
    // growth, which touched three times the memory it ends with (a fault for each page).
    // Pages reserved but never filled take no memory.
    scan.entries.reserve(
        static_cast<std::size_t>(std::min<std::uint64_t>(skip.archiveSize / 256, 1u << 20)));
    walk(fd, "", folder.path(), skip, found, scan);
    if (!scan.ok)
        return scan;
    const std::optional<StandInList> list = takeStandInList(scan, folder.path());
    if (takeStandIns) {
        if (modesLookAlike(scan) && !fileSystemKeepsModes(folder.path()))
            takeBackListedModes(scan, list.value_or(StandInList{}));
        if (list)
            takeBackListedLinks(scan, folder.path(), *list);
    }
    dropLinksLeadingOut(scan);
    return scan;
}

} // namespace vadok::archiver

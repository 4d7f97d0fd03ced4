#include "folderscan.h"

#include "memberpaths.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok::archiver {

namespace {

void walk(const std::string& root, const std::string& rel, FolderScan& scan) {
    const std::string dirPath = rel.empty() ? root : root + "/" + rel;
    DIR* d = ::opendir(dirPath.c_str());
    if (!d) {
        scan.ok = false;
        scan.error = "cannot read folder " + dirPath;
        return;
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& n : names) {
        if (!scan.ok)
            return;
        const std::string relPath = rel.empty() ? n : rel + "/" + n;
        const std::string full = root + "/" + relPath;
        if (n.find('\xFF') != std::string::npos) {
            scan.ok = false;
            scan.unsupportedName = true;
            scan.error = "name holds the byte 0xFF, which LZH reserves: " + full;
            return;
        }
        struct stat st {};
        if (::lstat(full.c_str(), &st) != 0) {
            scan.ok = false;
            scan.error = "cannot read " + full;
            return;
        }
        SourceEntry entry;
        entry.path = relPath;
        entry.mtime = st.st_mtim.tv_sec;
        entry.mtimeNsec = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
        entry.mode = static_cast<std::uint16_t>(st.st_mode);
        if (S_ISDIR(st.st_mode)) {
            entry.kind = MemberKind::Directory;
            scan.entries.push_back(entry);
            walk(root, relPath, scan);
        } else if (S_ISREG(st.st_mode)) {
            entry.kind = MemberKind::File;
            entry.size = static_cast<std::uint64_t>(st.st_size);
            scan.entries.push_back(entry);
        } else if (S_ISLNK(st.st_mode)) {
            std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1,
                               '\0');
            const ssize_t n2 = ::readlink(full.c_str(), target.data(), target.size());
            if (n2 < 0) {
                scan.ok = false;
                scan.error = "cannot read link " + full;
                return;
            }
            target.resize(static_cast<std::size_t>(n2));
            if (relPath.find('|') != std::string::npos) {
                scan.warnings.push_back("skipped symbolic link with \"|\" in its name: " + relPath);
            } else {
                entry.kind = MemberKind::Symlink;
                entry.linkTarget = target;
                scan.entries.push_back(entry);
            }
        } else {
            scan.warnings.push_back("skipped special file: " + relPath);
        }
    }
}

// Links are judged as an expansion will judge them, through the folder's other links; as
// leaving one out changes where links through it lead, this repeats until all stay inside.
void dropLinksLeadingOut(FolderScan& scan) {
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

FolderScan scanFolder(const std::string& folder) {
    FolderScan scan;
    std::string root = folder;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    struct stat st {};
    if (::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        scan.error = "not a folder: " + folder;
        return scan;
    }
    scan.ok = true;
    walk(root, "", scan);
    if (scan.ok)
        dropLinksLeadingOut(scan);
    return scan;
}

} // namespace vadok::archiver

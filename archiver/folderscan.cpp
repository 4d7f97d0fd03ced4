#include "folderscan.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok::archiver {

bool linkStaysInside(const std::string& linkPath, const std::string& target) {
    if (target.empty() || target.front() == '/')
        return false;
    int depth = static_cast<int>(std::count(linkPath.begin(), linkPath.end(), '/'));
    std::size_t start = 0;
    while (start <= target.size()) {
        std::size_t end = target.find('/', start);
        if (end == std::string::npos)
            end = target.size();
        const std::string part = target.substr(start, end - start);
        if (part == "..") {
            if (--depth < 0)
                return false;
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
        start = end + 1;
    }
    return true;
}

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
            } else if (!linkStaysInside(relPath, target)) {
                scan.warnings.push_back("skipped symbolic link pointing outside the folder: " +
                                        relPath + " -> " + target);
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
    return scan;
}

} // namespace vadok::archiver

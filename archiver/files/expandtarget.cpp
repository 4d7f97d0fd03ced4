#include "expandtarget.h"

#include "memberfiles.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <unordered_map>

namespace vadok::archiver {

namespace {

// Marks a staging folder as made by an expansion: a folder of the same shape that lacks it
// may be the user's, and is never swept.
constexpr const char* kMarker = "user.vadok.expanding";
// Long names are cut in the staging name, which must stay within the file system's limit.
constexpr std::size_t kNameInStaging = 100;

std::string resolved(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::string withSlash(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

bool isEmptyFolder(const std::string& path) {
    DIR* d = ::opendir(path.c_str());
    if (!d)
        return false;
    bool empty = true;
    while (const dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            empty = false;
            break;
        }
    ::closedir(d);
    return empty;
}

std::string randomSuffix() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device device;
    std::string s(6, 'x');
    for (char& c : s)
        c = letters[device() % (sizeof letters - 1)];
    return s;
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

ExpandTarget::~ExpandTarget() {
    if (!m_done)
        rollback();
}

std::string ExpandTarget::stagingPrefix(std::string_view name) {
    return "." + std::string(name.substr(0, kNameInStaging)) + ".expanding-";
}

bool ExpandTarget::isStaleStaging(const std::string& parent, const std::string& entry,
                                  std::string_view destName) {
    const std::string prefix = stagingPrefix(destName);
    if (entry.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string rest = entry.substr(prefix.size());
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(rest.c_str(), &end, 10);
    if (errno != 0 || end == rest.c_str() || pid <= 0 || pid > INT_MAX ||
        std::string_view(end).size() != 7 || *end != '-')
        return false;
    // Its process may still be writing it; one that is gone left it behind.
    if (static_cast<pid_t>(pid) == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 ||
        errno != ESRCH)
        return false;
    const std::string full = parent + "/" + entry;
    struct stat st {};
    if (::lstat(full.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    char marker[NAME_MAX + 1] = {};
    const ssize_t n = ::lgetxattr(full.c_str(), kMarker, marker, sizeof marker - 1);
    return n > 0 && std::string(marker, static_cast<std::size_t>(n)) == entry;
}

void ExpandTarget::sweepStale() const {
    std::vector<std::string> stale;
    if (DIR* d = ::opendir(m_parent.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (isStaleStaging(m_parent, e->d_name, m_name))
                stale.emplace_back(e->d_name);
        ::closedir(d);
    }
    if (stale.empty())
        return;
    Fd parent{::open(m_parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    for (const auto& name : stale)
        if (parent.fd >= 0)
            removeBeneath(parent.fd, name);
}

bool ExpandTarget::makeStaging() {
    const std::string prefix = stagingPrefix(m_name) + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = prefix + randomSuffix();
        const std::string full = m_parent + "/" + name;
        // Made as the destination itself would be made, the umask applied.
        if (::mkdir(full.c_str(), 0777) == 0) {
            m_staging = name;
            m_writeRoot = full + "/";
            ::setxattr(full.c_str(), kMarker, name.data(), name.size(), 0);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool ExpandTarget::open(const std::string& dest, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path = fs::absolute(fs::path(dest), ec).lexically_normal();
    fs::path folder = path;
    if (!folder.has_filename())
        folder = folder.parent_path();
    struct stat st {};
    const bool exists = ::lstat(folder.c_str(), &st) == 0;
    if (exists) {
        // Links above and at the destination are the user's business: they are resolved.
        m_finalRoot = resolved(folder.string());
        struct stat target {};
        if (m_finalRoot.empty() || ::stat(m_finalRoot.c_str(), &target) != 0 ||
            !S_ISDIR(target.st_mode)) {
            error = "cannot create " + dest + ": not a folder";
            return false;
        }
        m_writeRoot = m_finalRoot = withSlash(m_finalRoot);
        if (!isEmptyFolder(m_finalRoot))
            return true;
        const fs::path resolvedPath = fs::path(m_finalRoot).parent_path();
        m_parent = resolvedPath.parent_path().string();
        m_name = resolvedPath.filename().string();
        struct stat parent {};
        // A mount point cannot be renamed onto.
        if (m_name.empty() || ::stat(m_parent.c_str(), &parent) != 0 ||
            parent.st_dev != target.st_dev)
            return true;
    } else {
        for (fs::path p = folder.parent_path(); !p.empty() && !fs::exists(p, ec);
             p = p.parent_path()) {
            m_createdParents.push_back(p.string());
            if (p == p.parent_path())
                break;
        }
        fs::create_directories(folder.parent_path(), ec);
        m_parent = resolved(folder.parent_path().string());
        m_name = folder.filename().string();
        if (ec || m_parent.empty() || m_name.empty()) {
            error = "cannot create " + dest;
            return false;
        }
        m_finalRoot = withSlash(m_parent + "/" + m_name);
    }
    sweepStale();
    if (makeStaging())
        return true;
    if (exists)
        return true; // written in place
    // No sibling can be made where the destination is to be: the destination itself then.
    if (::mkdir((m_parent + "/" + m_name).c_str(), 0777) != 0) {
        error = "cannot create " + dest + ": " + std::strerror(errno);
        return false;
    }
    m_createdParents.insert(m_createdParents.begin(), m_parent + "/" + m_name);
    m_writeRoot = m_finalRoot;
    return true;
}

void ExpandTarget::noteNewPaths(const std::vector<std::string_view>& paths) {
    if (staged())
        return;
    std::unordered_map<std::string, bool> folderExists;
    struct stat st {};
    auto absent = [&](const std::string& relative) {
        return ::lstat((m_writeRoot + relative).c_str(), &st) != 0 && errno == ENOENT;
    };
    for (const std::string_view path : paths) {
        bool covered = false;
        for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
             slash = path.find('/', slash + 1)) {
            const std::string folder(path.substr(0, slash));
            auto [it, added] = folderExists.try_emplace(folder, true);
            if (added) {
                it->second = !absent(folder);
                if (!it->second)
                    m_newPaths.push_back(folder);
            }
            if (!it->second) {
                covered = true; // everything below a new folder is new
                break;
            }
        }
        if (!covered && !path.empty() && absent(std::string(path)))
            m_newPaths.emplace_back(path);
    }
}

bool ExpandTarget::commit(std::string& error) {
    if (staged()) {
        const std::string from = m_parent + "/" + m_staging;
        ::removexattr(from.c_str(), kMarker);
        // Onto a missing destination or its empty folder, in one step.
        if (::rename(from.c_str(), (m_parent + "/" + m_name).c_str()) != 0) {
            error = "cannot move the expanded folder to " + m_finalRoot + ": " + std::strerror(errno);
            rollback();
            return false;
        }
    }
    m_done = true;
    return true;
}

void ExpandTarget::rollback() {
    m_done = true;
    if (staged()) {
        Fd parent{::open(m_parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        if (parent.fd >= 0)
            removeBeneath(parent.fd, m_staging);
    } else if (!m_newPaths.empty()) {
        Fd root{::open(m_writeRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        if (root.fd >= 0)
            for (const auto& p : m_newPaths)
                removeBeneath(root.fd, p);
    }
    // Deepest first; only what is still empty (someone else may have put files there since).
    for (const auto& folder : m_createdParents)
        ::rmdir(folder.c_str());
}

} // namespace vadok::archiver

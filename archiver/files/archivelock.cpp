#include "archivelock.h"

#include "base/codes.h"
#include "openbeneath.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vadok::archiver {

namespace {

constexpr auto kRetry = std::chrono::milliseconds(20);
constexpr std::size_t kLongestRecord = 4096;
// Room for the hash, the archive's name and ".lock" within a file name's 255 bytes.
constexpr std::size_t kNameInLock = 200;
// Rounds of finding the file removed or refused under the name before giving up.
constexpr int kMostRounds = 100;

std::string folderPartOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string namePartOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    int take() { return std::exchange(fd, -1); }
};

std::string absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? std::string(value) : std::string();
}

// Where the lock folder may be, the first that is this user's own taken: vadok's cache
// folder, as every program of the user finds it, then the places left to a process that runs
// with another user's environment (su without a login, a test that drops its rights).
std::vector<std::string> lockFolderPlaces() {
    std::vector<std::string> places;
    if (const std::string cache = absoluteVariable("XDG_CACHE_HOME"); !cache.empty())
        places.push_back(cache + "/vadok/locks");
    else if (const std::string home = absoluteVariable("HOME"); !home.empty())
        places.push_back(home + "/.cache/vadok/locks");
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        places.push_back(std::string(pw->pw_dir) + "/.cache/vadok/locks");
    if (const std::string runtime = absoluteVariable("XDG_RUNTIME_DIR"); !runtime.empty())
        places.push_back(runtime + "/vadok-locks");
    places.push_back("/tmp/vadok-" + std::to_string(::geteuid()) + "-locks");
    return places;
}

// Opens folder, made 0700 when missing with whatever is missing above it; -1 unless it is a
// folder of this user's (reached through no link at its end). Another user's folder, or one
// others may write into, would let them plant lock files.
int openOwnFolder(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    Fd fd{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    struct stat st {};
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return -1;
    if ((st.st_mode & 077) != 0 && ::fchmod(fd.fd, 0700) != 0)
        return -1;
    return fd.take();
}

// FNV-1a: spreads folders over names, nothing more is asked of it.
std::uint64_t hashOf(const std::string& text) {
    std::uint64_t h = 1469598103934665603ull;
    for (const unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// The lock file's name in the lock folder: the archive's folder resolved, so that every path
// to one archive names one file.
std::string lockNameOf(const std::string& archivePath) {
    std::string folder = folderPartOf(archivePath);
    char resolved[PATH_MAX];
    if (::realpath(folder.empty() ? "." : folder.c_str(), resolved))
        folder = resolved;
    const std::string name = namePartOf(archivePath);
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(hashOf(folder + '\0' + name)));
    return std::string(hash) + "-" + name.substr(0, kNameInLock) + ".lock";
}

bool isOwnPlainFile(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid();
}

const char* kindOf(const struct stat& st) {
    if (S_ISLNK(st.st_mode))
        return "a symbolic link";
    if (S_ISDIR(st.st_mode))
        return "a folder";
    if (S_ISFIFO(st.st_mode))
        return "a FIFO";
    if (S_ISREG(st.st_mode) && st.st_nlink > 1)
        return "a second name of another file";
    if (S_ISREG(st.st_mode))
        return "another user's file";
    return "not a plain file";
}

// Moves what stands under name in the lock folder out of the way, unless someone did already.
// Under a lock on the folder itself, so that two who found the same entry never remove a
// good lock file the other one has made since.
void setAside(int folder, const std::string& name, const std::string& folderPath,
              const ArchiveLock::Warning& warning) {
    while (::flock(folder, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !isOwnPlainFile(st)) {
        std::string what = kindOf(st);
        bool moved = false;
        if (S_ISDIR(st.st_mode)) {
            // A folder may hold something of somebody's: it is kept under another name.
            std::mt19937 random{std::random_device{}()};
            const std::string aside = name + ".refused-" + std::to_string(random() % 1000000);
            moved = ::renameat(folder, name.c_str(), folder, aside.c_str()) == 0;
            what += " (kept as " + aside + ")";
        } else {
            // Only a name goes: whatever a link or a second name leads to is untouched.
            moved = ::unlinkat(folder, name.c_str(), 0) == 0;
        }
        if (moved && warning)
            warning("the lock file " + folderPath + "/" + name + " was " + what +
                         ", not a lock file: it was not used, and a new one was made");
    }
    ::flock(folder, LOCK_UN);
}

// Opened for reading and writing (a store records its temporary in it).
int openLockFile(int folder, const std::string& name, bool mayCreate) {
    // Not blocking: whatever stands under the name, a FIFO included, must not hang a store.
    return ::openat(folder, name.c_str(),
                    O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (mayCreate ? O_CREAT : 0), 0600);
}

std::string recordIn(int fd, const std::string& prefix) {
    if (fd < 0)
        return {};
    std::string text(kLongestRecord, '\0');
    const ssize_t n = ::pread(fd, text.data(), text.size(), 0);
    if (n <= 0)
        return {};
    text.resize(static_cast<std::size_t>(n));
    const std::size_t end = text.find('\n');
    if (end == std::string::npos)
        return {}; // cut short while written: nothing sure to remove
    text.resize(end);
    // Whatever else stands in the file (written by hand, or by something else), it never
    // names a file that is not a temporary of this archive.
    if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0 ||
        text.find('/') != std::string::npos || text.find('\0') != std::string::npos ||
        text == prefix + "lock")
        return {};
    return text;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

ArchiveLock::~ArchiveLock() { release(); }

ArchiveLock::ArchiveLock(ArchiveLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_folder(std::exchange(other.m_folder, -1)),
      m_name(std::move(other.m_name)), m_prefix(std::move(other.m_prefix)) {}

ArchiveLock& ArchiveLock::operator=(ArchiveLock&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
        m_folder = std::exchange(other.m_folder, -1);
        m_name = std::move(other.m_name);
        m_prefix = std::move(other.m_prefix);
    }
    return *this;
}

void ArchiveLock::release() {
    if (m_fd >= 0) {
        struct stat mine {}, named {};
        // The last holder removes the file, unless it records a killed store's temporary.
        // Taken exclusively first: a holder that is still there keeps it.
        if (::fstat(m_fd, &mine) == 0 && mine.st_size == 0 &&
            ::flock(m_fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(m_folder, m_name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            sameFile(mine, named))
            ::unlinkat(m_folder, m_name.c_str(), 0);
        ::close(m_fd); // drops the flock
    }
    if (m_folder >= 0)
        ::close(m_folder);
    m_fd = m_folder = -1;
}

std::string ArchiveLock::lockFolder() {
    for (const std::string& folder : lockFolderPlaces()) {
        if (const int fd = openOwnFolder(folder); fd >= 0) {
            ::close(fd);
            return folder;
        }
    }
    return {};
}

std::string ArchiveLock::lockPathOf(const std::string& archivePath) {
    const std::string folder = lockFolder();
    return folder.empty() ? std::string() : folder + "/" + lockNameOf(archivePath);
}

std::string ArchiveLock::temporaryPrefixOf(const std::string& archivePath) {
    return "." + namePartOf(archivePath) + ".";
}

int ArchiveLock::take(const std::string& archivePath, Kind kind, const Wait& wait,
                      const Warning& warning) {
    release();
    m_prefix = temporaryPrefixOf(archivePath);
    const bool exclusive = kind == Kind::Exclusive;
    struct stat st {};
    // A reader of an archive that is not there may still have to wait for a store making it,
    // whose lock file then exists; it makes none of its own.
    const bool mayCreate = exclusive || ::stat(archivePath.c_str(), &st) == 0;
    const std::string folderPath = lockFolder();
    Fd folder{folderPath.empty() ? -1
                                 : ::open(folderPath.c_str(),
                                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    if (folder.fd < 0)
        return exclusive ? ArchiverCannotCreate : ArchiverOk;
    const std::string name = lockNameOf(archivePath);
    const auto until = std::chrono::steady_clock::now() + wait.limit;
    for (int round = 0; round < kMostRounds; ++round) {
        Fd fd{openLockFile(folder.fd, name, mayCreate)};
        if (fd.fd < 0 && errno == ENOENT && !mayCreate)
            return ArchiverOk;
        if (fd.fd < 0 && errno != ELOOP && errno != EISDIR && errno != ENXIO &&
            errno != EOPNOTSUPP)
            return exclusive ? ArchiverCannotCreate : ArchiverOk;
        if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !isOwnPlainFile(st)) {
            setAside(folder.fd, name, folderPath, warning);
            continue;
        }
        while (::flock(fd.fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                // A file system without locks: a reader goes on as it did before there were any.
                return exclusive ? ArchiverCannotCreate : ArchiverOk;
            if (std::chrono::steady_clock::now() >= until || (wait.waiting && !wait.waiting()))
                return ArchiverLocked;
            std::this_thread::sleep_for(kRetry);
        }
        // Its last holder may have removed it while this one waited: that lock is nobody's.
        struct stat named {};
        if (::fstatat(folder.fd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            !sameFile(st, named))
            continue;
        m_fd = fd.take();
        m_folder = folder.take();
        m_name = name;
        return ArchiverOk;
    }
    return exclusive ? ArchiverCannotCreate : ArchiverOk;
}

std::string ArchiveLock::recordedTemporary() const { return recordIn(m_fd, m_prefix); }

std::string ArchiveLock::recordedTemporaryOf(const std::string& archivePath) {
    const std::string path = lockPathOf(archivePath);
    if (path.empty())
        return {};
    Fd fd{::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    struct stat st {};
    return fd.fd >= 0 && ::fstat(fd.fd, &st) == 0 && isOwnPlainFile(st)
               ? recordIn(fd.fd, temporaryPrefixOf(archivePath))
               : std::string();
}

bool ArchiveLock::recordTemporary(const std::string& name) {
    if (m_fd < 0)
        return false;
    const std::string text = name + "\n";
    return ::ftruncate(m_fd, 0) == 0 &&
           ::pwrite(m_fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

void ArchiveLock::clearRecord() {
    if (m_fd >= 0)
        (void)::ftruncate(m_fd, 0);
}

void retireLockBeside(const std::string& archivePath) {
    const std::string folder = folderPartOf(archivePath);
    const std::string lock = folder + "." + namePartOf(archivePath) + ".lock";
    Fd fd{::open(lock.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    struct stat st {};
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !isOwnPlainFile(st) ||
        st.st_size > static_cast<off_t>(kLongestRecord))
        return;
    const std::string prefix = ArchiveLock::temporaryPrefixOf(archivePath);
    const std::string temporary = recordIn(fd.fd, prefix);
    if (st.st_size != 0 && static_cast<std::size_t>(st.st_size) != temporary.size() + 1)
        return; // something else is written in it: not ours to remove
    if (!temporary.empty()) {
        struct stat t {};
        const std::string path = folder + temporary;
        if (::lstat(path.c_str(), &t) == 0 && S_ISREG(t.st_mode))
            ::unlink(path.c_str());
    }
    ::unlink(lock.c_str());
}

} // namespace vadok::archiver

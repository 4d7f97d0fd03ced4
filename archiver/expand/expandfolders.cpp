#include "expandfolders.h"

#include "base/codes.h"
#include "files/linkstandins.h"
#include "files/memberfiles.h"
#include "files/openbeneath.h"
#include "lzh/lzhentry.h"
#include "names/memberpaths.h"

#include <algorithm>
#include <archive_entry.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vadok::archiver {

void FolderGate::open(std::size_t count) {
    m_ready.store(count);
    // A waiter counts itself in before it looks at m_ready under the lock, and both orders are
    // sequentially consistent: seeing no waiter here, any later one sees count.
    if (m_waiters.load() == 0)
        return;
    // Taking the lock orders this against a waiter between its check and its sleep.
    { std::lock_guard lock(m_mutex); }
    m_changed.notify_all();
}

void FolderGate::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
}

bool FolderGate::waitFor(std::size_t member) {
    if (member < m_ready.load(std::memory_order_acquire))
        return true;
    std::unique_lock lock(m_mutex);
    m_waiters.fetch_add(1);
    m_changed.wait(lock, [&] { return member < m_ready.load() || m_stopped.load(); });
    m_waiters.fetch_sub(1);
    return member < m_ready.load();
}

void letOwnerIn(struct archive_entry* entry) {
    const mode_t owner = archive_entry_filetype(entry) == AE_IFDIR ? S_IRWXU
                         : archive_entry_filetype(entry) == AE_IFREG ? S_IRUSR | S_IWUSR
                                                                     : 0;
    archive_entry_set_perm(entry, archive_entry_perm(entry) | owner);
}

namespace {

// Descriptors kept open for the folders above the member being made: enough for any
// application's tree, far below the process's limit however deep an archive nests.
constexpr std::size_t kHeldFolders = 64;

// Descriptors kept open to the end for the writers: a quarter of what the process may open,
// the rest left to the program around the expansion and the files being written.
std::size_t keepableFolders() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1024;
    return std::min<std::size_t>(limit.rlim_cur / 4, 1024);
}

bool isWithin(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

} // namespace

MemberFolders::MemberFolders(const std::string& archivePath, const ArchiveListing& listing,
                             int root, mode_t umask, RefusedLinks& refused)
    : m_archivePath(archivePath), m_listing(listing), m_root(root), m_umask(umask),
      m_refused(refused), m_memberFolder(listing.members.size(), -1),
      m_keepable(keepableFolders()) {
    for (std::size_t i = 0; i < listing.members.size(); ++i)
        if (listing.members[i].kind == MemberKind::Directory)
            m_folderMembers.emplace(normalMemberPath(listing.members[i].path), i);
}

MemberFolders::~MemberFolders() {
    for (const Open& o : m_open)
        if (o.fd >= 0 && !o.kept)
            ::close(o.fd);
    for (const auto& [path, fd] : m_made)
        if (fd >= 0)
            ::close(fd);
    if (m_archiveFd >= 0)
        ::close(m_archiveFd);
}

int MemberFolders::make(const std::string& path, bool folder, std::string& error) {
    const std::size_t last = path.rfind('/');
    const std::string chain =
        folder ? path : path.substr(0, last == std::string::npos ? 0 : last);
    // Members come folder by folder: the folders above the one before are open already.
    while (!m_open.empty() && m_open.back().path != chain && !isWithin(chain, m_open.back().path)) {
        if (m_open.back().fd >= 0 && !m_open.back().kept)
            ::close(m_open.back().fd);
        m_open.pop_back();
    }
    if (chain.empty() || (!m_open.empty() && m_open.back().path == chain))
        return ArchiverOk;
    const std::size_t from = m_open.empty() ? 0 : m_open.back().path.size() + 1;
    for (std::size_t slash = chain.find('/', from); true; slash = chain.find('/', slash + 1)) {
        const std::string above = chain.substr(0, slash);
        if (const int code = makeOne(above, error); code != ArchiverOk)
            return code;
        if (slash == std::string::npos)
            return ArchiverOk;
    }
}

int MemberFolders::makeFor(std::size_t member, std::string& error) {
    const ListedMember& m = m_listing.members[member];
    const std::string path = normalMemberPath(m.path);
    const bool folder = m.kind == MemberKind::Directory;
    if (const int code = make(path, folder, error); code != ArchiverOk)
        return code;
    if (!folder && path.find('/') != std::string::npos && !m_open.empty() && m_open.back().kept)
        m_memberFolder[member] = m_open.back().fd;
    return ArchiverOk;
}

int MemberFolders::parentFd(std::size_t level) {
    if (level == 0)
        return m_root;
    Open& parent = m_open[level - 1];
    // Closed to stay within kHeldFolders: opened again from the top, as a file would be.
    if (parent.fd < 0)
        parent.fd = openBeneath(m_root, parent.path, O_RDONLY | O_DIRECTORY);
    return parent.fd;
}

int MemberFolders::memberModeAndTimes(const ListedMember& m, const std::string& path,
                                      Fixup& fixup, std::string& error) {
    if (m_archiveFd < 0 && (m_archiveFd = ::open(m_archivePath.c_str(), O_RDONLY | O_CLOEXEC)) < 0) {
        error = "cannot open " + m_archivePath;
        return ArchiverCannotOpen;
    }
    LzhMember header;
    if (!rereadHeader(m_archiveFd, m, header, error)) {
        error = m_archivePath + ": " + error;
        return ArchiverBrokenArchive;
    }
    const Entry entry = entryOf(header, MemberKind::Directory);
    m_refused.addMode(path, archive_entry_perm(entry.get()), true);
    letOwnerIn(entry.get());
    fixup.mode = archive_entry_perm(entry.get()) & 0777 & ~m_umask;
    fixup.timed = archive_entry_mtime_is_set(entry.get()) || archive_entry_atime_is_set(entry.get());
    fixup.times[0] = {0, UTIME_OMIT};
    fixup.times[1] = {0, UTIME_OMIT};
    if (archive_entry_atime_is_set(entry.get()))
        fixup.times[0] = {archive_entry_atime(entry.get()), archive_entry_atime_nsec(entry.get())};
    if (archive_entry_mtime_is_set(entry.get()))
        fixup.times[1] = {archive_entry_mtime(entry.get()), archive_entry_mtime_nsec(entry.get())};
    return ArchiverOk;
}

int MemberFolders::makeOne(const std::string& path, std::string& error) {
    const auto [made, first] = m_made.try_emplace(path, -1);
    if (!first && made->second >= 0) {
        m_open.push_back({path, made->second, true});
        return ArchiverOk;
    }
    Fixup fixup{path, {}, false, 0777 & ~m_umask, -1};
    const auto member = m_folderMembers.find(path);
    if (first && member != m_folderMembers.end())
        if (const int code = memberModeAndTimes(m_listing.members[member->second], path, fixup, error);
            code != ArchiverOk)
            return code;
    const int parent = parentFd(m_open.size());
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    bool created = false;
    // Others may write to it only once it is complete.
    const int fd =
        parent < 0 ? -1 : openOrMakeFolder(parent, name.c_str(), fixup.mode & 0775, !first, created);
    if (fd < 0) {
        error = path + ": cannot make the folder: " + std::strerror(errno);
        return ArchiverWriteError;
    }
    const bool keep = m_keepable > 0;
    if (keep) {
        --m_keepable;
        made->second = fd;
    } else if (m_open.size() >= kHeldFolders) {
        Open& far = m_open[m_open.size() - kHeldFolders];
        if (far.fd >= 0 && !far.kept)
            ::close(std::exchange(far.fd, -1));
    }
    m_open.push_back({path, fd, keep});
    if (!first)
        return ArchiverOk;
    // A folder already there keeps its mode, as libarchive keeps it.
    if (!created || (fixup.mode & 0775) == fixup.mode)
        fixup.mode = 0;
    fixup.fd = keep ? fd : -1;
    if (fixup.timed || fixup.mode != 0)
        m_fixups.push_back(std::move(fixup));
    return ArchiverOk;
}

void MemberFolders::finish() {
    // Made from the top: the reverse sets a folder's contents before the folder itself.
    for (auto it = m_fixups.rbegin(); it != m_fixups.rend(); ++it) {
        const int fd = it->fd >= 0 ? it->fd : openBeneath(m_root, it->path, O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            continue;
        if (it->timed)
            ::futimens(fd, it->times);
        if (it->mode != 0)
            ::fchmod(fd, it->mode);
        if (fd != it->fd)
            ::close(fd);
    }
    m_fixups.clear();
}

int makeMemberFolders(MemberFolders& folders, const ArchiveListing& listing, FolderGate& gate,
                      const std::function<void(std::size_t)>& step, std::string& error) {
    const auto& members = listing.members;
    for (std::size_t i = 0; i < members.size() && !gate.stopped(); ++i) {
        const int code = folders.makeFor(i, error);
        if (code != ArchiverOk) {
            gate.stop();
            return code;
        }
        gate.open(i + 1);
        if (step)
            step(i);
    }
    return ArchiverOk;
}

} // namespace vadok::archiver

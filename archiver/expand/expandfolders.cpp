#include "expandfolders.h"

#include "base/codes.h"
#include "files/linkstandins.h"
#include "lzh/lzhentry.h"
#include "names/memberpaths.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

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

std::string errorOf(struct archive* a, const char* fallback) {
    const char* e = archive_error_string(a);
    return e ? e : fallback;
}

// Makes one folder at a time, each once.
class FolderMaker {
public:
    FolderMaker(const std::string& archivePath, const ArchiveListing& listing,
                const std::string& root, struct archive* disk, struct archive* plain,
                RefusedLinks& refused)
        : m_archivePath(archivePath), m_listing(listing), m_root(root), m_disk(disk),
          m_plain(plain), m_refused(refused) {
        for (std::size_t i = 0; i < listing.members.size(); ++i)
            if (listing.members[i].kind == MemberKind::Directory)
                m_folderMembers.emplace(normalMemberPath(listing.members[i].path), i);
        m_implied = archive_entry_new();
    }
    ~FolderMaker() {
        archive_entry_free(m_implied);
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // The folders above path, from the top, then path itself when folder says so.
    int make(const std::string& path, bool folder, std::string& error) {
        // Folders are made from the top: once the one above path was, all above it were.
        // Members come folder by folder: the folder of the one before is made already.
        const std::size_t last = path.rfind('/');
        const std::string_view above =
            std::string_view(path).substr(0, last == std::string::npos ? 0 : last);
        if (last != std::string::npos && above != m_lastAbove && !m_made.count(std::string(above)))
            for (std::size_t slash = path.find('/'); slash != std::string::npos;
                 slash = path.find('/', slash + 1))
                if (const int code = makeOne(path.substr(0, slash), error); code != ArchiverOk)
                    return code;
        m_lastAbove = above;
        return folder && !path.empty() ? makeOne(path, error) : ArchiverOk;
    }

private:
    int makeOne(const std::string& path, std::string& error) {
        if (!m_made.insert(path).second)
            return ArchiverOk;
        const auto member = m_folderMembers.find(path);
        return member == m_folderMembers.end() ? makeImplied(path, error)
                                               : makeMember(m_listing.members[member->second], path, error);
    }

    int makeMember(const ListedMember& m, const std::string& path, std::string& error) {
        if (m_fd < 0 && (m_fd = ::open(m_archivePath.c_str(), O_RDONLY | O_CLOEXEC)) < 0) {
            error = "cannot open " + m_archivePath;
            return ArchiverCannotOpen;
        }
        LzhMember header;
        if (!rereadHeader(m_fd, m, header, error)) {
            error = m_archivePath + ": " + error;
            return ArchiverBrokenArchive;
        }
        const Entry entry = entryOf(header, MemberKind::Directory);
        archive_entry_set_pathname(entry.get(), (m_root + path).c_str());
        m_refused.addMode(path, archive_entry_perm(entry.get()), true);
        letOwnerIn(entry.get());
        if (archive_write_header(m_disk, entry.get()) < ARCHIVE_WARN ||
            archive_write_finish_entry(m_disk) < ARCHIVE_WARN) {
            error = path + ": " + errorOf(m_disk, "cannot write");
            return ArchiverWriteError;
        }
        return ArchiverOk;
    }

    int makeImplied(const std::string& path, std::string& error) {
        const std::string full = m_root + path;
        struct stat st {};
        if (::lstat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return ArchiverOk;
        archive_entry_clear(m_implied);
        archive_entry_set_pathname(m_implied, full.c_str());
        archive_entry_set_filetype(m_implied, AE_IFDIR);
        archive_entry_set_perm(m_implied, 0777);
        if (archive_write_header(m_plain, m_implied) < ARCHIVE_WARN ||
            archive_write_finish_entry(m_plain) < ARCHIVE_WARN) {
            error = path + ": " + errorOf(m_plain, "cannot make the folder");
            return ArchiverWriteError;
        }
        return ArchiverOk;
    }

    const std::string& m_archivePath;
    const ArchiveListing& m_listing;
    const std::string& m_root;
    struct archive* m_disk;
    struct archive* m_plain;
    RefusedLinks& m_refused;
    std::unordered_map<std::string, std::size_t> m_folderMembers;
    std::unordered_set<std::string> m_made;
    std::string m_lastAbove; // the folder of the last path made, all of it there
    struct archive_entry* m_implied = nullptr;
    int m_fd = -1;
};

} // namespace

int makeMemberFolders(const std::string& archivePath, const ArchiveListing& listing,
                      const std::string& root, struct archive* disk, struct archive* plain,
                      RefusedLinks& refused, FolderGate& gate,
                      const std::function<void(std::size_t)>& step, std::string& error) {
    FolderMaker maker(archivePath, listing, root, disk, plain, refused);
    const auto& members = listing.members;
    for (std::size_t i = 0; i < members.size() && !gate.stopped(); ++i) {
        const int code =
            maker.make(normalMemberPath(members[i].path), members[i].kind == MemberKind::Directory, error);
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

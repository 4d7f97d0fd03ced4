#include "expandjob.h"
#include "expandfolders.h"
#include "memberoverlap.h"

#include "base/alongside.h"
#include "base/codes.h"
#include "base/sizesums.h"
#include "files/casefolding.h"
#include "files/expandtarget.h"
#include "files/freespace.h"
#include "files/linkstandins.h"
#include "files/memberfiles.h"
#include "files/syncstamp.h"
#include "lzh/lzhentry.h"
#include "names/memberpaths.h"
#include "reading/memberdecoding.h"
#include "reading/readerlocale.h"

#include <algorithm>
#include <archive_entry.h>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <system_error>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace vadok::archiver {

namespace {

struct WriterDeleter {
    void operator()(struct archive* a) const { archive_write_free(a); }
};
using DiskWriter = std::unique_ptr<struct archive, WriterDeleter>;

std::string errorOf(struct archive* a, const char* fallback) {
    const char* e = archive_error_string(a);
    return e ? e : fallback;
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The destination with the links above it resolved, or "" when it does not exist yet.
std::string resolvedFolder(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// libarchive's writer for folders, and for every member of archives that cannot be spread
// over threads. It sets the umask to 0 and back on every header, so it must never run
// while another thread creates files.
DiskWriter newDiskWriter(bool times) {
    DiskWriter disk(archive_write_disk_new());
    archive_write_disk_set_options(disk.get(), (times ? ARCHIVE_EXTRACT_TIME : 0) |
                                                   ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                   ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                   ARCHIVE_EXTRACT_UNLINK);
    archive_write_disk_set_standard_lookup(disk.get());
    return disk;
}

struct timespecPair {
    struct timespec t[2];
};

timespecPair timesOf(struct archive_entry* entry) {
    timespecPair p{};
    p.t[0] = {0, UTIME_OMIT};
    p.t[1] = {0, UTIME_OMIT};
    if (archive_entry_atime_is_set(entry))
        p.t[0] = {archive_entry_atime(entry), archive_entry_atime_nsec(entry)};
    if (archive_entry_mtime_is_set(entry))
        p.t[1] = {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)};
    return p;
}

std::int64_t mtimeOf(const timespecPair& times) {
    return times.t[1].tv_nsec == UTIME_OMIT ? 0 : times.t[1].tv_sec;
}

// What the writers of files share.
struct FileWriting {
    int root;
    const std::vector<ListedMember>& members;
    const ExpandOptions& options;
    RefusedLinks& refused;
    FolderGate& folders;
    mode_t umask;
    const MemberFolders& madeFolders;
};

// Files and links below root on any number of threads, each once the gate says its folders
// were made.
class FileWriter : public MemberHandler {
public:
    explicit FileWriter(const FileWriting& shared)
        : m_root(shared.root), m_seams(shared.options.seams), m_refused(shared.refused),
          m_shared(shared) {}
    ~FileWriter() override {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool begin(const ListedMember& m, struct archive_entry* entry, std::string& error) override {
        m_index = static_cast<std::size_t>(&m - m_shared.members.data());
        if (!m_shared.folders.waitFor(m_index)) {
            error = "its folder was not made";
            return false;
        }
        m_times = timesOf(entry);
        const std::string name = normalMemberPath(m.path);
        if (m.kind == MemberKind::Symlink) {
            bool unsupported = false;
            if (placeMemberLink(m_root, name, m.linkTarget(), m_times.t, m_seams, error, unsupported))
                return true;
            if (!unsupported)
                return false;
            m_refused.add({name, m.linkTarget(), mtimeOf(m_times)});
            return true;
        }
        if (m.kind == MemberKind::File) {
            m_refused.addMode(name, archive_entry_perm(entry));
            return createMemberFile(m_root, name, archive_entry_perm(entry), m_fd, error,
                                    m_shared.umask, m_shared.madeFolders.folderOf(m_index));
        }
        return true;
    }
    bool data(const void* p, std::size_t size, std::uint64_t offset, std::string& error) override {
        return writeMemberData(m_fd, p, size, offset, error);
    }
    bool end(std::string& error) override {
        if (m_fd >= 0 && !finishMemberFile(std::exchange(m_fd, -1), m_times.t, error))
            return false;
        if (m_shared.options.memberWritten)
            m_shared.options.memberWritten(m_index);
        return true;
    }

private:
    int m_root;
    const ArchiverSeams& m_seams;
    RefusedLinks& m_refused;
    const FileWriting& m_shared;
    std::size_t m_index = 0;
    int m_fd = -1;
    timespecPair m_times{};
};

// Every member through libarchive's writer, in member order, on one thread.
class OrderedWriter : public MemberHandler {
public:
    OrderedWriter(struct archive* disk, std::string root, const ArchiverSeams& seams,
                  RefusedLinks& refused)
        : m_disk(disk), m_root(std::move(root)), m_seams(seams), m_refused(refused) {}
    bool begin(const ListedMember& m, struct archive_entry* entry, std::string& error) override {
        const std::string name = normalMemberPath(m.path);
        // A folder member naming the destination itself: the destination is there already.
        m_writing = !name.empty();
        if (!m_writing)
            return true;
        archive_entry_set_pathname(entry, (m_root + name).c_str());
        if (m.kind == MemberKind::Symlink)
            archive_entry_set_symlink(entry, m.linkTarget().c_str());
        if (m.kind == MemberKind::Directory)
            m_refused.addMode(name, archive_entry_perm(entry), true);
        // Told a size, libarchive pads a file that comes out short up to it (a 4 GiB sparse
        // file from an archive of 44 bytes); each file's size is checked instead.
        archive_entry_unset_size(entry);
        letOwnerIn(entry);
        if (m.kind == MemberKind::File)
            m_refused.addMode(name, archive_entry_perm(entry));
        const bool link = m.kind == MemberKind::Symlink;
        const bool refuse = link && m_seams.refuseLinks;
        if (!refuse && archive_write_header(m_disk, entry) >= ARCHIVE_WARN)
            return true;
        if (link && (refuse || linksUnsupported(archive_errno(m_disk)))) {
            m_writing = false;
            m_refused.add({name, m.linkTarget(), mtimeOf(timesOf(entry))});
            return true;
        }
        error = errorOf(m_disk, "cannot write");
        return false;
    }
    bool data(const void* p, std::size_t size, std::uint64_t offset, std::string& error) override {
        if (archive_write_data_block(m_disk, p, size, static_cast<la_int64_t>(offset)) >= ARCHIVE_OK)
            return true;
        error = errorOf(m_disk, "cannot write");
        return false;
    }
    bool end(std::string& error) override {
        if (!m_writing || archive_write_finish_entry(m_disk) >= ARCHIVE_WARN)
            return true;
        error = errorOf(m_disk, "cannot finish");
        return false;
    }

private:
    struct archive* m_disk;
    std::string m_root;
    const ArchiverSeams& m_seams;
    RefusedLinks& m_refused;
    bool m_writing = false;
};

bool fail(ExpandResult& result, int code, std::string error) {
    result.code = code;
    result.error = std::move(error);
    return false;
}

// Why the members may not be written below root as a whole (links through what already
// stands there among them), or "".
std::string unsafeMembersProblem(const std::vector<ListedMember>& members,
                                 const std::string& root) {
    const std::string existing = resolvedFolder(root);
    const auto problems = findUnsafeMembers(
        members.size(),
        [&](std::size_t i) {
            return PathMemberView{members[i].path, members[i].kind, members[i].linkTarget()};
        },
        existing.empty() ? LinkLookup() : linksOnDisk(existing), true);
    return problems.empty() ? std::string() : problems.front().why;
}

// Pass 1: every member, checked as a whole against what already stands below root; total
// becomes the bytes they hold.
bool checkMembers(const std::string& archivePath, const std::string& dest,
                  const std::string& root, const ArchiveListing& listing, std::uint64_t& total,
                  ExpandResult& result) {
    const std::vector<ListedMember>& members = listing.members;
    for (const auto& m : members)
        if (std::string why = memberPathLengthProblem(m.path); !why.empty())
            return fail(result, ArchiverUnsupported, std::move(why));
    if (std::string why = unsafeMembersProblem(members, root); !why.empty())
        return fail(result, ArchiverUnsafeEntry, std::move(why));
    total = 0;
    for (const auto& m : members)
        total = saturatingSum(total, m.size);
    // An archive of a few bytes may claim terabytes, or more than any file system holds
    // (where the free space is unknown too): refuse what cannot fit before writing.
    if (total > kLargestFileSize)
        return fail(result, ArchiverWriteError,
                    archivePath + " claims more bytes than any file system holds");
    if (const auto free = freeSpaceFor(root); free && total > *free)
        return fail(result, ArchiverWriteError,
                    archivePath + " needs " + std::to_string(total) + " bytes, " +
                        std::to_string(*free) + " are free below " + dest);
    return true;
}

// Whether members land on one another where the destination does not tell names apart by
// case; warns of each set of names that differ in case alone, which end as the last of them.
bool membersOverlapFolded(const std::vector<ListedMember>& members, const MemberPathIndex& index,
                          CaseFolding folding, const ExpandOptions& options) {
    std::vector<std::string> folded(members.size());
    for (std::size_t i = 0; i < members.size(); ++i)
        folded[i] = foldedPath(index.path(i), folding);
    const MemberPathIndex foldedIndex(members.size(),
                                      [&](std::size_t i) { return std::string_view(folded[i]); });
    const auto& order = foldedIndex.order();
    for (std::size_t k = 0; k < order.size();) {
        std::size_t end = k + 1;
        bool differ = false;
        while (end < order.size() && folded[order[end]] == folded[order[k]])
            differ = differ || index.path(order[end++]) != index.path(order[k]);
        if (differ && options.warning) {
            std::string names;
            for (std::size_t j = k; j < end; ++j)
                names += (j > k ? ", " : "") + std::string(index.path(order[j]));
            options.warning("names that differ only in case are one file here; the last of "
                            "them in the archive was kept: " + names);
        }
        k = end;
    }
    return membersOverlap(members, foldedIndex);
}

// The members' path index, and whether they land on one another.
struct PathsFound {
    MemberPathIndex index;
    bool overlap = false;
};

// Worked out alongside the checks of names, links and sizes: neither needs the other, both
// come before anything is written, and together they were most of the main thread's work
// between the listing and the first file, with the second core idle.
PathsFound findPaths(const std::vector<ListedMember>& members) {
    Utf8ThreadLocale utf8;
    MemberPathIndex index(members.size(),
                          [&members](std::size_t i) { return members[i].path.view(); });
    const bool overlap = membersOverlap(members, index);
    return {std::move(index), overlap};
}

// Opens the destination and decides whether the members are spread over several threads,
// each writing its files in place (an archive whose members were located and do not
// overlap, also where its file system folds case). A target written in place learns which
// paths are new.
bool openTarget(ExpandTarget& target, const std::string& root, const ArchiveListing& listing,
                Alongside<PathsFound>& paths, const ExpandOptions& options, bool& spread,
                ExpandResult& result) {
    if (std::string error; !target.open(root, error))
        return fail(result, ArchiverCannotCreate, std::move(error));
    const std::vector<ListedMember>& members = listing.members;
    const PathsFound found = paths.get();
    const MemberPathIndex& index = found.index;
    spread = listing.located && !found.overlap;
    if (const CaseFolding folding = caseFoldingOf(target.writeRoot());
        folding != CaseFolding::None && membersOverlapFolded(members, index, folding, options))
        spread = false;
    if (!target.staged()) {
        std::vector<std::string_view> paths(members.size());
        for (std::size_t i = 0; i < members.size(); ++i)
            paths[i] = index.path(i);
        target.noteNewPaths(paths);
    }
    return true;
}

// What pass 2 writes, and where.
struct WriteOrder {
    const std::string& archivePath;
    ArchiveFormat format;
    const ArchiveListing& listing;
    const std::string& root; // the folder written into, no trailing slash
    bool spread;
    std::uint64_t total;
};

// Pass 2: writes what pass 1 listed, then the stand-ins of refused links and the folders'
// times and modes.
bool writeMembers(const WriteOrder& order, const ExpandOptions& options, ExpandResult& result) {
    const std::string& root = order.root;
    const DiskWriter folders = newDiskWriter(true);
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0)
        return fail(result, ArchiverCannotCreate, "cannot open " + root);
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closeRoot{rootFd};
    RefusedLinks refused(!fileSystemKeepsModes(root));
    DecodeJob job =
        jobOver(order.archivePath, order.format, order.listing, order.spread ? options.threads : 1);
    FolderGate gate;
    // Read as libarchive reads it; files made while its folder writer has it switched to 0
    // are given it themselves (createMemberFile).
    const mode_t umask = ::umask(0);
    ::umask(umask);
    MemberFolders madeFolders(order.archivePath, order.listing, rootFd, umask, refused);
    const FileWriting writing{rootFd, order.listing.members, options, refused, gate, umask,
                              madeFolders};
    // The folders are made on a thread of their own while the files are written.
    int folderCode = ArchiverOk;
    std::string folderError;
    auto makeFolders = [&] {
        Utf8ThreadLocale utf8;
        folderCode =
            makeMemberFolders(madeFolders, order.listing, gate, options.foldersMade, folderError);
    };
    std::thread folderThread;
    if (order.spread) {
        try {
            folderThread = std::thread(makeFolders);
        } catch (const std::system_error&) {
            makeFolders();
            if (folderCode != ArchiverOk)
                return fail(result, folderCode, folderError);
        }
        job.makeHandler = [&writing] { return std::make_unique<FileWriter>(writing); };
    } else {
        job.makeHandler = [disk = folders.get(), root, &options, &refused] {
            return std::make_unique<OrderedWriter>(disk, root, options.seams, refused);
        };
    }
    if (options.progress)
        job.tick = [&](std::uint64_t done, const std::string& member) {
            options.progress(normalMemberPath(member), done, order.total);
            return true;
        };
    const MemberFault fault = decodeMembers(job);
    gate.stop();
    if (folderThread.joinable())
        folderThread.join();
    // Files below a folder that could not be made fail for it: the folder is the cause.
    if (folderCode != ArchiverOk)
        return fail(result, folderCode, folderError);
    if (fault.code != ArchiverOk)
        return fail(result, fault.code, fault.error);
    // A file of the list's name that came out of the archive is an ordinary file: the list
    // goes under a name after it, and is written, if empty, so that no such file is taken
    // for one.
    std::uint64_t taken = 0;
    for (const ListedMember& m : order.listing.members)
        taken = std::max(taken, standInListIndex(firstNormalPart(m.path)));
    if (const StandInList list = refused.take(); !list.empty() || taken > 0) {
        std::string error;
        if (!makeLinkStandIns(root, list, standInListName(taken + 1), error))
            return fail(result, ArchiverWriteError, error);
    }
    // Folder times and modes are set here, after their contents.
    madeFolders.finish();
    if (archive_write_close(folders.get()) != ARCHIVE_OK)
        return fail(result, ArchiverWriteError,
                    errorOf(folders.get(), "cannot finish the destination"));
    return true;
}

} // namespace

ExpandResult expandArchive(const std::string& archivePath, const std::string& dest,
                           ArchiveFormat format, const ExpandOptions& options) {
    Utf8ThreadLocale utf8;
    ExpandResult result;
    struct stat st {};
    if (::stat(archivePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fail(result, ArchiverCannotOpen, "cannot open " + archivePath);
        return result;
    }
    const ArchiveListing listing = listArchive(archivePath, format);
    if (listing.code != ArchiverOk) {
        fail(result, listing.code, listing.error);
        return result;
    }
    const std::string root = withoutTrailingSlashes(dest);
    Alongside<PathsFound> paths({}, [&members = listing.members] { return findPaths(members); });
    std::uint64_t total = 0;
    ExpandTarget target;
    bool spread = false;
    if (!checkMembers(archivePath, dest, root, listing, total, result) ||
        !openTarget(target, root, listing, paths, options, spread, result) ||
        !writeMembers({archivePath, format, listing, target.writeRoot(), spread, total}, options,
                      result))
        return result;
    if (std::string error; !target.commit(error)) {
        fail(result, ArchiverWriteError, std::move(error));
        return result;
    }
    // Every file written has its status-change time before this moment; moving the folder
    // changed none of them.
    writeSyncStamp(target.finalRoot(), st, syncMomentNow());
    return result;
}

} // namespace vadok::archiver

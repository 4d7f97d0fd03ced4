#pragma once

#include "files/syncstamp.h"
#include "folderscan.h"
#include "lzh/lzhheaderreader.h"
#include "lzh/lzhmember.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vadok::archiver {

// Level-2 headers hold sizes in 32 bits.
constexpr std::uint64_t kLargestMember = 0xFFFFFFFF;

enum class TaskKind { Compress, CopyOld, HeaderOnly };

// One member of the archive being written, in archive order. A CopyOld member is copied
// only once its old data is shown sound (and, with compare, equal to the folder's file);
// otherwise it is compressed from source, or fails the store when there is none.
struct Task {
    TaskKind kind = TaskKind::HeaderOnly;
    LzhMember member;   // header fields; sizes and CRC filled in when compressed
    bool fromFolder = false; // the folder has the member's file, at member.path
    // The old member whose data CopyOld copies; for a HeaderOnly task, the old member of
    // the name and kind, with no data, if any.
    const LzhMember* old = nullptr;
    bool compare = false; // the file may have changed since the folder's stamp

    // The folder's file, relative to the folder; empty for a member the folder no longer
    // has. The member's own path: a copy of it for each of thousands of files was an
    // allocation each, on the way from the scan to the first member written.
    const std::string& source() const {
        static const std::string none;
        return fromFolder ? member.path : none;
    }

    // Old data the old archive's reading already showed sound, for an unchanged file: it
    // goes in as it is and needs no worker.
    bool copiesSoundData() const {
        return kind == TaskKind::CopyOld && !compare && old->storedDataSound;
    }
};

struct StorePlan {
    int code = 0; // an ArchiverCode
    std::string error;
    std::vector<Task> tasks;
    std::vector<std::string> warnings;
    std::uint64_t totalBytes = 0;
};

// The old members by name: the current (last) old member of each name, and for each member
// the one of the same name before it. Duplicates are rare, and a name that has them uses
// them all. Made where the old archive is read, beside the folder's scan.
class OldNames {
public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    // old outlives this: its members' paths are the keys.
    explicit OldNames(const ArchiveIndex& old);
    // The last member of the name (an index into old's members), kNone for none.
    std::size_t last(std::string_view path) const;
    std::vector<std::size_t> sameNameBefore;

private:
    // Open addressing over one array: a table of nodes cost an allocation for each of
    // thousands of members, and on the reading thread a system call for each page they took.
    std::size_t slotOf(std::string_view path) const;
    const std::vector<LzhMember>& m_members;
    std::vector<std::uint32_t> m_slots; // a member's index + 1; 0 for none
    std::size_t m_mask = 0;
};

// Whether the folder's entry e is, for the plan, the same file as the old member of its name:
// both files of the same size and second. Such a file is copied; any other is compressed.
bool sameFileAsMember(const SourceEntry& e, const LzhMember& old);

// The members of the updated archive: the folder's entries in scan order, then the old
// members the folder no longer has. Each entry goes in with its mode, or where the file
// system keeps none and the list of stand-ins gives none, its old member's, else 0644 (0755
// for folders). Unchanged files (same name, size and second) are copied as raw data under a
// header with today's mode; those that may have changed since synced (syncstamp.h), or all
// of them without a stamp, are compared with their old member first. Old members that no
// longer fit the folder are left out with a warning: those below what is now a file or a
// link (they would collide with it, and every later expansion would fail) and those an
// expansion would refuse (a link that now leads out through the folder's links, an unsafe
// name). Files too large for a member fail the plan with ArchiverUnsupported before
// anything is compressed.
// The scan's paths move into the plan.
StorePlan planStore(FolderScan&& scan, const ArchiveIndex& old, const OldNames& names,
                    const std::optional<SyncMoment>& synced);

} // namespace vadok::archiver

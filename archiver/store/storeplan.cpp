#include "storeplan.h"

#include "base/codes.h"
#include "names/memberpaths.h"
#include "prefault.h"

#include <string_view>
#include <sys/stat.h>
#include <unordered_map>

namespace vadok::archiver {

namespace {

// Takes the entry's path and link target, which the plan is the last to need.
LzhMember memberFor(SourceEntry& e) {
    LzhMember m;
    m.kind = e.kind;
    m.path = std::move(e.path);
    m.linkTarget = std::move(e.linkTarget);
    m.mtime = e.mtime;
    m.mtimeNsec = e.mtimeNsec;
    m.unixMode = e.mode;
    m.originalSize = e.kind == MemberKind::File ? e.size : 0;
    m.setMethod(e.kind == MemberKind::File ? "lh0" : "lhd");
    if (e.kind != MemberKind::File)
        m.compressedSize = 0;
    return m;
}


// The folder of path that the folder's content now holds as a file or a link, or "".
std::string collidingFolder(const std::string& path,
                            const std::unordered_map<std::string_view, MemberKind>& scanned) {
    for (std::size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const auto it = scanned.find(std::string_view(path).substr(0, slash));
        if (it != scanned.end() && it->second != MemberKind::Directory)
            return path.substr(0, slash);
    }
    return {};
}

// Leaves out kept members an expansion would refuse. Leaving out a link changes where links
// through it lead, so this repeats until nothing is refused.
bool dropKeptMembersRefused(StorePlan& plan, std::size_t firstKept) {
    // The folder's own entries passed the same checks in the scan.
    if (firstKept == plan.tasks.size())
        return true;
    while (true) {
        std::vector<PathMember> members;
        members.reserve(plan.tasks.size());
        for (const auto& t : plan.tasks)
            members.push_back({t.member.path, t.member.kind, t.member.linkTarget});
        const auto problems = findUnsafeMembers(members, {}, false);
        if (problems.empty())
            return true;
        std::vector<bool> drop(plan.tasks.size(), false);
        bool any = false;
        for (const auto& p : problems) {
            for (const std::size_t i : p.through)
                if (i >= firstKept)
                    any = drop[i] = true;
            if (p.member >= firstKept)
                any = drop[p.member] = true;
        }
        if (!any) {
            plan.code = ArchiverUnsafeEntry;
            plan.error = problems.front().why;
            return false;
        }
        for (std::size_t i = plan.tasks.size(); i-- > firstKept;) {
            if (!drop[i])
                continue;
            plan.warnings.push_back("left out the old member " + plan.tasks[i].member.path +
                                    ": an expansion would refuse it");
            plan.tasks.erase(plan.tasks.begin() + static_cast<long>(i));
        }
    }
}

// The mode of an entry whose file system keeps none and whose list gives none: the old
// member's, else what files and folders are commonly made with. Never what such a file
// system shows (often 0777): an archive expanded elsewhere would hand everyone write access.
std::uint16_t modeWhereUnknown(const SourceEntry& e, const LzhMember* old) {
    const std::uint16_t type = static_cast<std::uint16_t>(e.mode & S_IFMT);
    if (old && old->kind == e.kind && old->unixMode)
        return static_cast<std::uint16_t>(type | (*old->unixMode & 07777));
    return static_cast<std::uint16_t>(type | (e.kind == MemberKind::Directory ? 0755 : 0644));
}

// The task for one of the folder's entries: a copy of its old member when that is the same
// file by size and time, else a compression (files) or a header alone. Marks every old
// member of the name as used.
Task taskForEntry(SourceEntry& e, bool changed, const ArchiveIndex& old, const OldNames& names,
                  std::vector<bool>& oldUsed) {
    Task t;
    t.fromFolder = e.kind == MemberKind::File;
    t.member = memberFor(e);
    const std::size_t last = names.last(t.member.path);
    if (!e.modeKnown)
        t.member.unixMode =
            modeWhereUnknown(e, last == OldNames::kNone ? nullptr : &old.members[last]);
    if (last != OldNames::kNone) {
        const LzhMember& o = old.members[last];
        for (std::size_t i = last; i != OldNames::kNone; i = names.sameNameBefore[i])
            oldUsed[i] = true;
        if (sameFileAsMember(e, o)) {
            t.kind = TaskKind::CopyOld;
            t.member.setMethod(o.method);
            t.member.compressedSize = o.compressedSize;
            t.member.crc = o.crc;
            t.member.storedCrc = o.storedCrc;
            t.old = &o;
            t.compare = changed;
        } else if (e.kind != MemberKind::File && o.kind == e.kind && o.compressedSize == 0) {
            // Only for the writer, whose copy takes its header along when it comes out the same.
            t.old = &o;
        }
    }
    if (e.kind == MemberKind::File && t.kind != TaskKind::CopyOld)
        t.kind = TaskKind::Compress;
    return t;
}

// The folder's entries in scan order, their paths moved into the tasks; returns which old
// members they use.
std::vector<bool> planScannedEntries(StorePlan& plan, FolderScan& scan, const ArchiveIndex& old,
                                     const OldNames& names,
                                     const std::optional<SyncMoment>& synced) {
    std::vector<bool> oldUsed(old.members.size(), false);
    // Per folder: it or a folder above it changed since the stamp (the folder itself is left
    // out: writing the stamp changes it).
    // Keyed by the tasks' paths, which stay where they are: the tasks have their room.
    std::unordered_map<std::string_view, bool> folderChanged;
    for (auto& e : scan.entries) {
        const std::size_t slash = e.path.rfind('/');
        const bool changed = !synced || changedSince(e.changed, *synced) ||
                             (slash != std::string::npos &&
                              folderChanged[std::string_view(e.path).substr(0, slash)]);
        plan.tasks.push_back(taskForEntry(e, changed, old, names, oldUsed));
        if (plan.tasks.back().member.kind == MemberKind::Directory)
            folderChanged[plan.tasks.back().member.path] = changed;
    }
    return oldUsed;
}

// Keeps the old members the folder no longer has, unless they would now lie below a file or
// a link.
void keepOldMembersGone(StorePlan& plan, const ArchiveIndex& old,
                        const std::vector<bool>& oldUsed) {
    // Needed only for old members the folder no longer has, which most stores have none of.
    // The tasks so far are the folder's entries; those added here stay within the room the
    // plan made, so the names looked up do not move.
    std::unordered_map<std::string_view, MemberKind> scanned;
    const std::size_t entries = plan.tasks.size();
    for (std::size_t i = 0; i < old.members.size(); ++i) {
        if (oldUsed[i])
            continue;
        if (scanned.empty())
            for (std::size_t t = 0; t < entries; ++t)
                scanned[plan.tasks[t].member.path] = plan.tasks[t].member.kind;
        const LzhMember& o = old.members[i];
        if (const std::string folder = collidingFolder(o.path, scanned); !folder.empty()) {
            plan.warnings.push_back("left out the old member " + o.path + ": " + folder +
                                    " is no longer a folder");
            continue;
        }
        Task t;
        t.kind = o.compressedSize > 0 ? TaskKind::CopyOld : TaskKind::HeaderOnly;
        t.member = o;
        t.old = &o;
        plan.tasks.push_back(std::move(t));
    }
}

// Adds up the bytes to store; fails the plan on a file too large for a member.
void addUpSizes(StorePlan& plan) {
    for (const auto& t : plan.tasks) {
        if (t.member.originalSize > kLargestMember) {
            plan.code = ArchiverUnsupported;
            plan.error = "file too large for the archive format: " + t.member.path;
            return;
        }
        plan.totalBytes += t.member.originalSize;
    }
}

} // namespace

bool sameFileAsMember(const SourceEntry& e, const LzhMember& old) {
    // Members carry whole seconds, and an expansion restores whole seconds.
    return e.kind == MemberKind::File && old.kind == MemberKind::File &&
           old.originalSize == e.size && old.mtime == e.mtime;
}

StorePlan planStore(FolderScan&& scan, const ArchiveIndex& old, const OldNames& names,
                    const std::optional<SyncMoment>& synced) {
    StorePlan plan;
    plan.tasks.reserve(scan.entries.size() + old.members.size());
    // Every entry becomes a task: some megabytes for an application of thousands of files.
    prefaultForWriting(plan.tasks.data(), scan.entries.size() * sizeof(Task));
    const std::vector<bool> oldUsed = planScannedEntries(plan, scan, old, names, synced);
    const std::size_t firstKept = plan.tasks.size();
    keepOldMembersGone(plan, old, oldUsed);
    if (dropKeptMembersRefused(plan, firstKept))
        addUpSizes(plan);
    return plan;
}

OldNames::OldNames(const ArchiveIndex& old)
    : sameNameBefore(old.members.size(), kNone), m_members(old.members) {
    // At most half full, so that a name not there ends its probe soon.
    std::size_t size = 16;
    while (size < 2 * m_members.size())
        size *= 2;
    m_slots.assign(size, 0);
    m_mask = size - 1;
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        std::uint32_t& slot = m_slots[slotOf(m_members[i].path)];
        if (slot != 0)
            sameNameBefore[i] = slot - 1;
        slot = static_cast<std::uint32_t>(i + 1);
    }
}

std::size_t OldNames::slotOf(std::string_view path) const {
    std::size_t at = std::hash<std::string_view>{}(path) & m_mask;
    while (m_slots[at] != 0 && m_members[m_slots[at] - 1].path != path)
        at = (at + 1) & m_mask;
    return at;
}

std::size_t OldNames::last(std::string_view path) const {
    const std::uint32_t slot = m_slots[slotOf(path)];
    return slot == 0 ? kNone : slot - 1;
}

} // namespace vadok::archiver

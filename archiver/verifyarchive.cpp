#include "archiver.h"
#include "files/archivelock.h"
#include "files/sourcefile.h"
#include "files/linkstandins.h"
#include "lzh/crc16.h"
#include "reading/archivereading.h"
#include "reading/memberdecoding.h"
#include "reading/readerlocale.h"
#include "store/folderscan.h"

#include <algorithm>
#include <fcntl.h>
#include <unordered_map>
#include <unordered_set>
#include <unistd.h>
#include <vector>

namespace vadok {

using namespace archiver;

namespace {

struct Seen {
    MemberKind kind = MemberKind::File;
    std::uint64_t size = 0;
    std::uint16_t crc = 0;
    std::string linkTarget;
};

// What each member decodes to, in its own slot: every member is decoded by one thread.
class Record : public MemberHandler {
public:
    Record(const std::vector<ListedMember>& members, std::vector<Seen>& seen)
        : m_members(members), m_seen(seen) {}
    bool begin(const ListedMember& m, struct archive_entry*, std::string&) override {
        m_at = &m_seen[static_cast<std::size_t>(&m - m_members.data())];
        *m_at = {m.kind, 0, 0, m.kind == MemberKind::Symlink ? m.linkTarget() : std::string()};
        return true;
    }
    bool data(const void* p, std::size_t size, std::uint64_t, std::string&) override {
        m_at->crc = crc16Update(m_at->crc, p, size);
        m_at->size += size;
        return true;
    }
    bool end(std::string&) override { return true; }

private:
    const std::vector<ListedMember>& m_members;
    std::vector<Seen>& m_seen;
    Seen* m_at = nullptr;
};

// The folders an expansion makes for the members below them.
std::unordered_set<std::string> foldersAbove(const std::unordered_map<std::string, Seen>& members) {
    std::unordered_set<std::string> folders;
    for (const auto& [path, m] : members)
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            folders.insert(path.substr(0, slash));
    return folders;
}

} // namespace

int VerifyArchive(const std::string& archivePath, const std::string& folder) {
    ArchiveLock lock;
    if (const int code = lock.take(archivePath, ArchiveLock::Kind::Shared, {});
        code != ArchiverOk)
        return code;
    Utf8ThreadLocale utf8;
    if (::access(archivePath.c_str(), R_OK) != 0)
        return ArchiverCannotOpen;
    const ArchiveListing listing = listArchive(archivePath, ArchiveFormat::Lzh);
    if (listing.code != ArchiverOk)
        return listing.code;
    // Decoded on every core, as an expansion would; each member's kind, size and CRC are
    // checked against its header on the way.
    std::vector<Seen> seen(listing.members.size());
    DecodeJob job = jobOver(archivePath, ArchiveFormat::Lzh, listing);
    job.makeHandler = [&] { return std::make_unique<Record>(listing.members, seen); };
    if (decodeMembers(job).code != ArchiverOk)
        return ArchiverBrokenArchive;
    // The last member of a name is the one an expansion leaves.
    std::unordered_map<std::string, Seen> members;
    std::vector<LinkRecord> links;
    for (std::size_t i = 0; i < seen.size(); ++i)
        members[listing.members[i].path] = std::move(seen[i]);
    for (const auto& [path, m] : members)
        if (m.kind == MemberKind::Symlink)
            links.push_back({path, m.linkTarget, 0});
    const ListedLinks archiveLinks(links);
    const std::unordered_set<std::string> implied = foldersAbove(members);

    // The folder as it stands on disk, never through its list of stand-ins: a list that lies
    // must not hide from this check what the store left out.
    const SourceFolder source(folder);
    const FolderScan scan = scanFolder(source, archivePath, false);
    if (!scan.ok)
        return scan.code;
    for (const auto& e : scan.entries) {
        const auto it = members.find(e.path);
        const Seen* member = it == members.end() ? nullptr : &it->second;
        if (!member || member->kind != e.kind) {
            // A stand-in, or something in one, for a link the archive holds: it must be
            // what an expansion without links would put there.
            const auto where = archiveLinks.resolve(e.path);
            if (!where || *where == e.path || e.kind == MemberKind::Symlink)
                return ArchiverIncomplete;
            const auto there = members.find(*where);
            member = there == members.end() ? nullptr : &there->second;
            const bool impliedFolder = e.kind == MemberKind::Directory && implied.count(*where);
            if (member ? member->kind != e.kind : !impliedFolder)
                return ArchiverIncomplete;
        }
        if (e.kind == MemberKind::Symlink && member->linkTarget != e.linkTarget)
            return ArchiverIncomplete;
        if (e.kind == MemberKind::File) {
            std::uint16_t crc = 0;
            std::uint64_t size = 0;
            if (!source.readFile(e.path, [&](const std::uint8_t* p, std::size_t n) {
                    crc = crc16Update(crc, p, n);
                    size += n;
                }))
                return ArchiverReadError;
            if (size != member->size || crc != member->crc)
                return ArchiverIncomplete;
        }
    }
    return ArchiverOk;
}

} // namespace vadok

// The two read-only looks at an archive the launcher takes on its own: a full check of every
// member, and its sizes from the headers.
#include "archiver.h"
#include "base/sizesums.h"
#include "files/archivelock.h"
#include "lzh/lzhheaderreader.h"
#include "reading/archivereading.h"
#include "reading/memberdecoding.h"
#include "reading/readerlocale.h"

#include <algorithm>

namespace vadok {

using namespace archiver;

namespace {

// Decoding is the whole check: the data goes nowhere.
class Discard : public MemberHandler {
public:
    bool begin(const ListedMember&, struct archive_entry*, std::string&) override { return true; }
    bool data(const void*, std::size_t, std::uint64_t, std::string&) override { return true; }
    bool end(std::string&) override { return true; }
};

ArchiveCheck checkOf(const ArchiveListing& listing) {
    return {listing.code, listing.damage, listing.damagedMember, listing.damageAt, listing.error};
}

} // namespace

ArchiveCheck CheckArchive(const std::string& archivePath, const ArchiveCheckProgress& progress) {
    // Checked while no store replaces it.
    ArchiveLock lock;
    ArchiveLock::Wait wait;
    bool stopped = false;
    if (progress)
        wait.waiting = [&] { return !(stopped = !progress(0, 0)); };
    if (const int code = lock.take(archivePath, ArchiveLock::Kind::Shared, wait);
        code != ArchiverOk)
        return {stopped ? ArchiverCancelled : code, ArchiveDamage::None, {}, 0,
                stopped ? "cancelled" : "another store kept the archive"};
    Utf8ThreadLocale utf8;
    const ArchiveListing listing = listArchive(archivePath, ArchiveFormat::Lzh);
    if (listing.code != ArchiverOk) {
        ArchiveCheck check = checkOf(listing);
        // What only libarchive reads (self-extracting archives) fails without our reader's
        // diagnosis.
        if (check.damage == ArchiveDamage::None)
            check.damage = ArchiveDamage::HeaderDamaged;
        return check;
    }
    std::uint64_t total = 0;
    for (const auto& m : listing.members)
        total = saturatingSum(total, m.size);
    if (progress && !progress(0, total))
        return {ArchiverCancelled, ArchiveDamage::None, {}, 0, "cancelled"};
    DecodeJob job = jobOver(archivePath, ArchiveFormat::Lzh, listing);
    job.makeHandler = [] { return std::make_unique<Discard>(); };
    if (progress)
        job.tick = [&](std::uint64_t done, const std::string&) { return progress(done, total); };
    const MemberFault fault = decodeMembers(job);
    if (fault.code == ArchiverOk || fault.code == ArchiverCancelled)
        return {fault.code, ArchiveDamage::None, {}, 0, fault.error};
    const ListedMember& m = listing.members[fault.member];
    return {fault.code, fault.damage, m.path, m.headerOffset, fault.error};
}

ArchiveSizes ReadArchiveSizes(const std::string& archivePath) {
    ArchiveLock lock;
    if (const int code = lock.take(archivePath, ArchiveLock::Kind::Shared, {});
        code != ArchiverOk)
        return {code, ArchiveDamage::None, 0, 0};
    const ArchiveTotals totals = readArchiveTotals(archivePath);
    const ArchiveIndex& outcome = totals.outcome;
    if (outcome.ok)
        return {ArchiverOk, ArchiveDamage::None, totals.members, totals.originalBytes};
    if (!outcome.foreign)
        return {outcome.damage == ArchiveDamage::Unreadable ? ArchiverCannotOpen
                                                            : ArchiverBrokenArchive,
                outcome.damage, 0, 0};
    // Self-extracting archives: libarchive lists them, skipping their data undecoded.
    Utf8ThreadLocale utf8;
    const ArchiveListing listing = listArchive(archivePath, ArchiveFormat::Lzh);
    if (listing.code != ArchiverOk)
        return {listing.code, ArchiveDamage::HeaderDamaged, 0, 0};
    ArchiveSizes sizes;
    sizes.members = listing.members.size();
    for (const auto& m : listing.members)
        sizes.originalBytes = saturatingSum(sizes.originalBytes, m.size);
    return sizes;
}

} // namespace vadok

#pragma once

#include "archivereading.h"
#include "base/codes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vadok::archiver {

// What becomes of each member's data as it is decoded: expanded onto disk or only checked.
// One handler serves one thread; it sees that thread's members in archive order.
class MemberHandler {
public:
    virtual ~MemberHandler() = default;
    // A member begins, with its header as libarchive read it.
    virtual bool begin(const ListedMember& member, struct archive_entry* entry,
                       std::string& error) = 0;
    virtual bool data(const void* p, std::size_t size, std::uint64_t offset,
                      std::string& error) = 0;
    virtual bool end(std::string& error) = 0;
};

// The first thing wrong, in member order.
struct MemberFault {
    int code = ArchiverOk; // an ArchiverCode
    ArchiveDamage damage = ArchiveDamage::None;
    std::size_t member = 0; // index into the listing
    std::string error;
};

// Members [first, last) of the listing, read by one reader: from their bytes [begin, end) of
// the archive when the listing located them, else from the whole archive.
struct MemberRange {
    std::size_t first = 0;
    std::size_t last = 0;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

// Threads for a job when the caller names none: one per core, at most four.
unsigned decodingThreads(unsigned requested = 0);

// Ranges per thread: enough that a thread slowed by other programs leaves its share to the
// others, few enough that opening a reader per range costs nothing worth measuring. With 8
// the threads of an expansion of 12,000 files on a busy machine ended 0.1 s apart, one range;
// with 32, within 10 ms.
constexpr std::size_t kRangesPerThread = 32;

// Cuts a located listing into about `parts` ranges of similar cost (data to decode plus a
// fixed share per member for the file it becomes); an unlocated one stays in one range.
std::vector<MemberRange> rangesOf(const ArchiveListing& listing, std::size_t parts);

struct DecodeJob {
    std::string archivePath;
    ArchiveFormat format = ArchiveFormat::Lzh;
    const ArchiveListing* listing = nullptr;
    std::vector<MemberRange> ranges;
    unsigned threads = 1;
    std::function<std::unique_ptr<MemberHandler>()> makeHandler;
    // Called on the calling thread now and then while the threads work, and once at the end,
    // with the data decoded so far and the member most recently begun; returning false
    // cancels the job (ArchiverCancelled).
    std::function<bool(std::uint64_t done, const std::string& member)> tick;
};

// A job over every member of the listing, cut into ranges for `threads` threads (0: as
// decodingThreads() says); handler and tick are left to the caller.
DecodeJob jobOver(const std::string& archivePath, ArchiveFormat format,
                  const ArchiveListing& listing, unsigned threads = 0);

// Decodes every member of the ranges on up to job.threads threads, each range read in
// order by one thread, and checks each member: its kind against the listing, its data
// decodes completely, to exactly its size and CRC. Members are independent, so ranges run
// in any order; a fault stops the members after it, while those before it still finish, so
// the fault returned is the first in member order, whatever the timing.
MemberFault decodeMembers(const DecodeJob& job);

} // namespace vadok::archiver

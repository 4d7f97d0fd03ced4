#include "memberdecoding.h"

#include "lzh/crc16.h"
#include "lzh/lzhdecoder.h"
#include "lzh/lzhentry.h"
#include "lzh/macbinary.h"
#include "rangereader.h"
#include "readerlocale.h"

#include <algorithm>
#include <archive_entry.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace vadok::archiver {

namespace {

// What creating, writing and closing one small file costs, in bytes of data decoded in the
// same time; it keeps ranges of many small members from being cut as long as ranges of a
// few large ones.
constexpr std::uint64_t kMemberCost = 16 * 1024;
constexpr auto kTickInterval = std::chrono::milliseconds(100);
constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();


std::string errorOf(struct archive* a, const char* fallback) {
    const char* e = archive_error_string(a);
    return e ? e : fallback;
}

// What the threads of one job share.
struct Shared {
    explicit Shared(const DecodeJob& j) : job(j) {}
    const DecodeJob& job;
    int fd = -1;
    std::atomic<std::size_t> nextRange{0};
    std::atomic<std::size_t> stopAt{kNone}; // members after a fault are not begun
    std::atomic<bool> cancelled{false};
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::size_t> begun{kNone};
    std::mutex mutex;
    std::condition_variable finished;
    unsigned running = 0;
    MemberFault fault; // the earliest so far, under mutex

    void report(MemberFault f) {
        std::lock_guard lock(mutex);
        if (fault.code == ArchiverOk || f.member < fault.member)
            fault = std::move(f);
        std::size_t stop = stopAt.load();
        while (fault.member < stop && !stopAt.compare_exchange_weak(stop, fault.member)) {
        }
    }
    bool stopsBefore(std::size_t member) const {
        return cancelled.load(std::memory_order_relaxed) ||
               member > stopAt.load(std::memory_order_relaxed);
    }
};

MemberFault faultAt(std::size_t member, int code, ArchiveDamage damage, std::string error) {
    return {code, damage, member, std::move(error)};
}

MemberFault unsupportedAt(std::size_t member, const ListedMember& m) {
    return faultAt(member, ArchiverUnsupportedMethod, ArchiveDamage::UnsupportedMethod,
                   m.path + ": packed in a way this archiver cannot decode");
}

// Decodes the members of one range; a fault, or code ArchiverOk.
MemberFault decodeRange(const MemberRange& r, MemberHandler& handler, Shared& shared) {
    const DecodeJob& job = shared.job;
    const std::vector<ListedMember>& members = job.listing->members;
    std::string error;
    // libarchive does not even take a range that starts with such a member for an archive.
    if (r.first < r.last && !members[r.first].knownMethod)
        return unsupportedAt(r.first, members[r.first]);
    ReadArchive a = r.end > r.begin ? openArchiveSpans(shared.fd, {{r.begin, r.end}},
                                                       job.listing->hdrcharset, error)
                                    : openArchive(job.archivePath, job.format,
                                                  job.listing->hdrcharset, error);
    if (!a)
        return faultAt(r.first, ArchiverBrokenArchive, ArchiveDamage::HeaderDamaged,
                       job.archivePath + ": " + error);
    struct archive_entry* entry = nullptr;
    for (std::size_t i = r.first; i < r.last; ++i) {
        if (shared.stopsBefore(i))
            return {};
        const ListedMember& m = members[i];
        // libarchive may not even read the header of such a member.
        if (!m.knownMethod)
            return unsupportedAt(i, m);
        const int rh = archive_read_next_header(a.get(), &entry);
        if (rh != ARCHIVE_OK && rh != ARCHIVE_WARN)
            return faultAt(i, ArchiverBrokenArchive, ArchiveDamage::HeaderDamaged,
                           job.archivePath + ": " + errorOf(a.get(), "damaged member header"));
        if (kindOf(entry) != m.kind || archive_entry_hardlink(entry))
            return faultAt(i, ArchiverBrokenArchive, ArchiveDamage::HeaderDamaged,
                           job.archivePath + ": members differ between readers");
        shared.begun.store(i, std::memory_order_relaxed);
        if (!handler.begin(m, entry, error))
            return faultAt(i, ArchiverWriteError, ArchiveDamage::None, m.path + ": " + error);
        const void* buf;
        size_t size;
        la_int64_t offset;
        int rd;
        std::uint16_t crc = 0;
        std::uint64_t written = 0;
        while ((rd = archive_read_data_block(a.get(), &buf, &size, &offset)) == ARCHIVE_OK) {
            crc = crc16Update(crc, buf, size);
            // Damaged data can decode to more bytes than the header promised.
            written = static_cast<std::uint64_t>(offset) + size;
            if (offset < 0 || written > m.size)
                return faultAt(i, ArchiverBrokenArchive, ArchiveDamage::DataDamaged,
                               m.path + ": member data longer than its header says");
            if (!handler.data(buf, size, static_cast<std::uint64_t>(offset), error))
                return faultAt(i, ArchiverWriteError, ArchiveDamage::None, m.path + ": " + error);
            shared.done.fetch_add(size, std::memory_order_relaxed);
        }
        // A CRC mismatch comes back as a warning; it is still a damaged member.
        if (rd != ARCHIVE_EOF)
            return faultAt(i, ArchiverBrokenArchive, ArchiveDamage::DataDamaged,
                           m.path + ": " + errorOf(a.get(), "damaged member"));
        if (m.kind == MemberKind::File && written != m.size)
            return faultAt(i, ArchiverBrokenArchive, ArchiveDamage::DataDamaged,
                           m.path + ": member data shorter than its header says");
        // libarchive has not always checked the CRC of level 0 and 1 members; ours does.
        if (m.kind == MemberKind::File && m.crc() && crc != *m.crc())
            return faultAt(i, ArchiverBrokenArchive, ArchiveDamage::DataDamaged,
                           m.path + ": CRC mismatch");
        if (!handler.end(error))
            return faultAt(i, ArchiverWriteError, ArchiveDamage::None, m.path + ": " + error);
    }
    // The reader must see nothing more than the listing: a range ends at its end mark, the
    // whole archive at its own.
    if (r.last > r.first && !shared.stopsBefore(r.last - 1) &&
        archive_read_next_header(a.get(), &entry) != ARCHIVE_EOF)
        return faultAt(r.last - 1, ArchiverBrokenArchive, ArchiveDamage::HeaderDamaged,
                       job.archivePath + ": " + errorOf(a.get(), "members differ between readers"));
    return {};
}

// The members of a range of a located LZH archive, read with our own header reader and
// decoders: libarchive refuses the headers of many old LHA programs and knows few methods.
MemberFault decodeLzhRange(const MemberRange& r, MemberHandler& handler, Shared& shared) {
    const DecodeJob& job = shared.job;
    const std::vector<ListedMember>& members = job.listing->members;
    RangeReader in(shared.fd, r.begin, r.end);
    std::string error;
    for (std::size_t i = r.first; i < r.last; ++i) {
        if (shared.stopsBefore(i))
            return {};
        const ListedMember& m = members[i];
        if (!m.knownMethod)
            return unsupportedAt(i, m);
        in.skipTo(m.headerOffset);
        std::size_t got = 0;
        const std::uint8_t* p = in.peek(static_cast<std::size_t>(std::min<std::uint64_t>(
                                            kHeaderWindow, m.dataEnd - m.headerOffset)),
                                        got);
        if (!p)
            return faultAt(i, ArchiverCannotOpen, ArchiveDamage::Unreadable,
                           job.archivePath + ": cannot read the archive");
        LzhMember header;
        std::size_t headerLength = 0;
        if (!parseListedHeader(p, got, m, header, headerLength))
            return faultAt(i, ArchiverBrokenArchive, ArchiveDamage::HeaderDamaged,
                           job.archivePath + ": member header changed since it was listed");
        in.skipTo(m.headerOffset + headerLength);
        shared.begun.store(i, std::memory_order_relaxed);
        Entry entry = entryOf(header, m.kind);
        if (!handler.begin(m, entry.get(), error))
            return faultAt(i, ArchiverWriteError, ArchiveDamage::None, m.path + ": " + error);
        if (m.kind == MemberKind::File) {
            std::uint16_t crc = 0;
            bool handlerFailed = false;
            header.path = m.path;
            MacBinaryUnwrapper unwrapped(
                header, [&](const std::uint8_t* data, std::size_t size, std::uint64_t at) {
                    handlerFailed = !handler.data(data, size, at, error);
                    return !handlerFailed;
                });
            // What the reader holds of the data already is decoded where it lies, not copied:
            // most members lie whole in the piece their header came in.
            std::size_t held = 0;
            const std::uint8_t* ahead = in.peek(
                static_cast<std::size_t>(std::min<std::uint64_t>(m.dataEnd - in.position(),
                                                                 RangeReader::kPiece)),
                held);
            if (!ahead)
                return faultAt(i, ArchiverCannotOpen, ArchiveDamage::Unreadable,
                               job.archivePath + ": cannot read the archive");
            held = static_cast<std::size_t>(
                std::min<std::uint64_t>(held, m.dataEnd - in.position()));
            in.skipTo(in.position() + held);
            // Decoders read ahead in large pieces: they must not be given the next member.
            const DataSource source = [&](std::uint8_t* dest, std::size_t size) {
                return in.read(dest, static_cast<std::size_t>(std::min<std::uint64_t>(
                                         size, m.dataEnd - in.position())));
            };
            const DecodedSink sink = [&](const std::uint8_t* data, std::size_t size) {
                crc = crc16Update(crc, data, size);
                shared.done.fetch_add(size, std::memory_order_relaxed);
                return unwrapped.take(data, size);
            };
            std::string why;
            DecodeStatus status =
                decodeLzhData(header.methodName(), {ahead, held}, source, m.size, sink, why);
            if (status == DecodeStatus::Ok && !unwrapped.finish())
                status = DecodeStatus::Refused;
            if (handlerFailed)
                return faultAt(i, ArchiverWriteError, ArchiveDamage::None, m.path + ": " + error);
            if (in.failed())
                return faultAt(i, ArchiverCannotOpen, ArchiveDamage::Unreadable,
                               job.archivePath + ": cannot read the archive");
            if (status == DecodeStatus::UnsupportedMethod)
                return unsupportedAt(i, m);
            if (status != DecodeStatus::Ok)
                return faultAt(i, ArchiverBrokenArchive, ArchiveDamage::DataDamaged,
                               m.path + ": " + why);
            if (m.crc() && crc != *m.crc())
                return faultAt(i, ArchiverBrokenArchive, ArchiveDamage::DataDamaged,
                               m.path + ": CRC mismatch");
        }
        if (!handler.end(error))
            return faultAt(i, ArchiverWriteError, ArchiveDamage::None, m.path + ": " + error);
    }
    return {};
}

void work(Shared& shared) {
    Utf8ThreadLocale utf8;
    const DecodeJob& job = shared.job;
    std::unique_ptr<MemberHandler> handler = job.makeHandler();
    while (true) {
        const std::size_t k = shared.nextRange.fetch_add(1);
        if (k >= job.ranges.size() || shared.stopsBefore(job.ranges[k].first))
            break;
        MemberFault f = job.listing->located
                            ? decodeLzhRange(job.ranges[k], *handler, shared)
                            : decodeRange(job.ranges[k], *handler, shared);
        if (f.code != ArchiverOk)
            shared.report(std::move(f));
    }
    handler.reset();
    std::lock_guard lock(shared.mutex);
    --shared.running;
    shared.finished.notify_all();
}

} // namespace

unsigned decodingThreads(unsigned requested) {
    return requested ? requested : std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
}

std::vector<MemberRange> rangesOf(const ArchiveListing& listing, std::size_t parts) {
    const auto& members = listing.members;
    // An archive of no members (the store of an empty folder) has nothing to read.
    if (members.empty())
        return {};
    if (!listing.located)
        return {{0, members.size(), 0, 0}};
    if (parts <= 1)
        return {{0, members.size(), members.front().headerOffset, members.back().dataEnd}};
    auto cost = [&](const ListedMember& m) { return m.dataEnd - m.headerOffset + kMemberCost; };
    std::uint64_t total = 0;
    for (const auto& m : members)
        total += cost(m);
    const std::uint64_t share = std::max<std::uint64_t>(1, total / parts);
    std::vector<MemberRange> ranges;
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (ranges.empty() || sum >= share) {
            ranges.push_back({i, i, members[i].headerOffset, 0});
            sum = 0;
        }
        sum += cost(members[i]);
        ranges.back().last = i + 1;
        ranges.back().end = members[i].dataEnd;
    }
    return ranges;
}

DecodeJob jobOver(const std::string& archivePath, ArchiveFormat format,
                  const ArchiveListing& listing, unsigned threads) {
    DecodeJob job;
    job.archivePath = archivePath;
    job.format = format;
    job.listing = &listing;
    job.threads = decodingThreads(threads);
    job.ranges = rangesOf(listing, job.threads == 1 ? 1 : job.threads * kRangesPerThread);
    return job;
}

MemberFault decodeMembers(const DecodeJob& job) {
    Shared shared(job);
    if (job.listing->located) {
        shared.fd = ::open(job.archivePath.c_str(), O_RDONLY | O_CLOEXEC);
        if (shared.fd < 0)
            return faultAt(0, ArchiverCannotOpen, ArchiveDamage::Unreadable,
                           "cannot open " + job.archivePath);
    }
    if (job.format == ArchiveFormat::Lzh && !job.listing->located)
        prepareLhaReading();
    const auto threads =
        static_cast<unsigned>(std::min<std::size_t>(std::max(1u, job.threads), job.ranges.size()));
    std::vector<std::thread> pool;
    shared.running = threads;
    for (unsigned t = 0; t < threads; ++t) {
        try {
            pool.emplace_back([&shared] { work(shared); });
        } catch (const std::system_error&) {
            // No thread to be had: the ones running do the rest, or this one does it all.
            std::lock_guard lock(shared.mutex);
            shared.running -= threads - t;
            break;
        }
    }
    if (pool.empty()) {
        shared.running = 1;
        work(shared);
    }
    auto tick = [&] {
        const std::size_t begun = shared.begun.load();
        return job.tick(shared.done.load(),
                        begun == kNone ? std::string() : job.listing->members[begun].path);
    };
    {
        std::unique_lock lock(shared.mutex);
        while (!shared.finished.wait_for(lock, kTickInterval, [&] { return shared.running == 0; })) {
            if (!job.tick)
                continue;
            lock.unlock();
            if (!tick())
                shared.cancelled = true;
            lock.lock();
        }
    }
    for (auto& t : pool)
        t.join();
    if (shared.fd >= 0)
        ::close(shared.fd);
    if (shared.fault.code != ArchiverOk)
        return shared.fault;
    if (shared.cancelled)
        return faultAt(0, ArchiverCancelled, ArchiveDamage::None, "cancelled");
    if (job.tick)
        tick();
    return {};
}

} // namespace vadok::archiver

#include "memberjobs.h"

#include "archiver.h"
#include "crc16.h"
#include "lzhencoder.h"
#include "lzhheaderwriter.h"
#include "lzhmethod.h"
#include "memberverify.h"
#include "oldmember.h"
#include "sourcefile.h"

#include <algorithm>
#include <zlib.h>

namespace vadok::archiver {

namespace {

// Each compressed member keeps at most kSpillMemory in memory and the rest in a temporary
// file, which bounds memory whatever the input.
constexpr std::size_t kSpillMemory = 256 * 1024;
// libarchive cannot decode a few very short streams; below this a member is stored as is,
// which costs at most a few bytes.
constexpr std::uint64_t kSmallestCompressed = 9;

// What the member's header says of the file, which the bytes read must be.
ExpectedFile expectedOf(const Task& task) {
    return {task.member.originalSize, task.member.mtime, task.member.mtimeNsec};
}

void failRead(Job& job, SourceRead read, const std::string& path) {
    job.code = ArchiverReadError;
    job.error = read == SourceRead::Changed ? "changed while read: " + path
                                            : "cannot read " + path + " as a regular file";
}

bool verifySpill(const std::vector<std::uint8_t>& header, const SpillBuffer& spill,
                 const LzhMember& m, std::string& error) {
    std::uint64_t at = 0;
    return verifyMemberData(
        header,
        [&](std::uint8_t* dest, std::size_t size) {
            const std::size_t n = spill.readAt(at, dest, size);
            at += n;
            return n;
        },
        m.originalSize, m.crc, error);
}

// Compresses one file into the job's spill buffer, falling back to -lh0- when the data does
// not shrink, and decodes the result again before it may enter the archive.
void runCompression(const Task& task, Job& job, const WorkContext& context) {
    const LzhMethod method = context.method;
    const SourceFolder& folder = context.folder;
    job.member = task.member;
    job.data = std::make_unique<SpillBuffer>(context.spillFolder, kSpillMemory);
    SpillBuffer& spill = *job.data;
    uLong storedCrc = ::crc32(0, nullptr, 0);
    std::uint16_t crc = 0;
    std::uint64_t total = 0;
    bool spillOk = true;
    {
        // One encoder per thread and method, reset per member: its tables are large enough
        // that allocating them for each of thousands of small files dominated the time.
        thread_local std::unique_ptr<LzhEncoder> cached[3];
        auto& slot = cached[static_cast<int>(method)];
        if (!slot)
            slot = std::make_unique<LzhEncoder>(method, nullptr);
        LzhEncoder& encoder = *slot;
        encoder.reset([&](const std::uint8_t* p, std::size_t n) {
            storedCrc = ::crc32(storedCrc, p, static_cast<uInt>(n));
            spillOk = spill.append(p, n) && spillOk;
        });
        const SourceRead read = folder.readFile(
            task.source, expectedOf(task), [&](const std::uint8_t* p, std::size_t n) {
                crc = crc16Update(crc, p, n);
                total += n;
                encoder.write(p, n);
            });
        if (read != SourceRead::Ok)
            return failRead(job, read, task.source);
        encoder.finish();
    }
    if (!spillOk) {
        job.code = ArchiverWriteError;
        job.error = "cannot write temporary data for " + task.source;
        return;
    }
    LzhMember& m = job.member;
    m.originalSize = total;
    m.crc = crc;
    m.setMethod(methodParams(method).id + 1);
    m.compressedSize = spill.size();
    m.storedCrc = static_cast<std::uint32_t>(storedCrc);
    bool store = total == 0 || spill.size() >= total || spill.size() < kSmallestCompressed;
    if (!store) {
        job.header = encodeLevel2Header(m);
        std::string error;
        // A member that does not decode back is stored as is rather than lost.
        if (job.header.empty() || !verifySpill(encodeDataCheckHeader(m), spill, m, error))
            store = true;
    }
    if (store) {
        spill.clear();
        std::uint16_t crc2 = 0;
        std::uint64_t total2 = 0;
        bool ok = true;
        storedCrc = ::crc32(0, nullptr, 0);
        const SourceRead read = folder.readFile(
            task.source, expectedOf(task), [&](const std::uint8_t* p, std::size_t n) {
                crc2 = crc16Update(crc2, p, n);
                storedCrc = ::crc32(storedCrc, p, static_cast<uInt>(n));
                total2 += n;
                ok = spill.append(p, n) && ok;
            });
        if (read != SourceRead::Ok)
            return failRead(job, read, task.source);
        // Same size and times, yet other bytes: a write that kept both.
        if (total2 != total || crc2 != crc)
            return failRead(job, SourceRead::Changed, task.source);
        if (!ok) {
            job.code = ArchiverWriteError;
            job.error = "cannot write temporary data for " + task.source;
            return;
        }
        m.setMethod("lh0");
        m.compressedSize = total;
        m.storedCrc = static_cast<std::uint32_t>(storedCrc);
        job.header = encodeLevel2Header(m);
        std::string error;
        if (job.header.empty()) {
            job.code = ArchiverUnsupported;
            job.error = "name too long: " + m.path;
            return;
        }
        if (!verifySpill(encodeDataCheckHeader(m), spill, m, error)) {
            job.code = ArchiverVerifyFailed;
            job.error = m.path + ": " + error;
        }
    }
}

} // namespace

std::size_t jobMemory(const Task& task) {
    // Header, member and bookkeeping; an old member may turn out damaged and be compressed.
    constexpr std::size_t kJobOverhead = 1024;
    return kJobOverhead + static_cast<std::size_t>(std::min<std::uint64_t>(
                              std::max(task.member.originalSize, task.member.compressedSize),
                              kSpillMemory));
}

void runTask(const Task& task, Job& job, const WorkContext& context) {
    if (task.kind == TaskKind::CopyOld) {
        job.member = task.member;
        std::uint32_t storedCrc = 0;
        std::string why;
        const OldMemberVerdict verdict =
            oldMemberHolds(context.oldArchive, *task.old, &context.folder,
                           task.compare ? task.source : std::string(), expectedOf(task),
                           storedCrc, why);
        if (verdict == OldMemberVerdict::FileChanged)
            return failRead(job, SourceRead::Changed, task.source);
        if (verdict == OldMemberVerdict::Holds) {
            job.copy = true;
            job.member.storedCrc = storedCrc;
            // The header tells the writer whether the old one can be copied with the data.
            job.header = encodeLevel2Header(job.member);
            return;
        }
        if (task.source.empty()) {
            job.code = ownDecodableMethod(task.old->methodName()) ? ArchiverBrokenArchive
                                                                  : ArchiverUnsupportedMethod;
            job.error = "the archive's member " + task.member.path + " cannot be kept: " + why +
                        ", and the folder has no file to store in its place";
            return;
        }
    }
    runCompression(task, job, context);
}

} // namespace vadok::archiver

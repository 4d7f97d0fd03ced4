#include "memberjobs.h"

#include "base/codes.h"
#include "files/sourcefile.h"
#include "lzh/crc16.h"
#include "lzh/crc32.h"
#include "lzh/lzhencoder.h"
#include "lzh/lzhheaderwriter.h"
#include "lzh/lzhmethod.h"
#include "lzh/lzhsegments.h"
#include "memberverify.h"
#include "oldmember.h"

#include <algorithm>

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

void failSpill(Job& job, const std::string& path) {
    job.code = ArchiverWriteError;
    job.error = "cannot write temporary data for " + path;
}

// What was read of a file: its CRC-16 and size, and the CRC-32 of what went into the spill
// buffer.
struct ReadDigest {
    std::uint16_t crc = 0;
    std::uint64_t total = 0;
    std::uint32_t storedCrc = 0;
};

// The encoders one member is compressed with, borrowed from the store's shelf for as long
// as the member takes: the worker's own, and the one its segment helper takes on its thread.
class BorrowedEncoders {
public:
    explicit BorrowedEncoders(const WorkContext& context)
        : m_context(context), m_own(context.encoders.take(context.method)) {}
    ~BorrowedEncoders() {
        m_context.encoders.giveBack(m_context.method, std::move(m_own));
        if (m_lent)
            m_context.encoders.giveBack(m_context.method, std::move(m_lent));
    }
    BorrowedEncoders(const BorrowedEncoders&) = delete;
    BorrowedEncoders& operator=(const BorrowedEncoders&) = delete;

    LzhEncoder& own() { return *m_own; }
    // On the helper's thread; one helper at a time.
    LzhEncoder& lent() {
        if (!m_lent)
            m_lent = m_context.encoders.take(m_context.method);
        return *m_lent;
    }

private:
    const WorkContext& m_context;
    std::unique_ptr<LzhEncoder> m_own;
    std::unique_ptr<LzhEncoder> m_lent;
};

// Encodes the folder's file into the spill buffer; false (with the job failed) when the file
// cannot be read or the buffer written.
bool encodeFile(const Task& task, Job& job, const WorkContext& context, ReadDigest& digest) {
    SpillBuffer& spill = *job.data;
    bool spillOk = true;
    thread_local LzhSegmentEncoder::Buffers segmentBuffers;
    // Given back once the segment encoder below, which waits for its helper, is done.
    BorrowedEncoders encoders(context);
    LzhSegmentEncoder::Helper helper;
    if (context.threads > 1) {
        // The helper thread takes its encoder itself (made, if it must be, beside this one's
        // work); one helper at a time uses it.
        helper.encoder = [&encoders]() -> LzhEncoder& { return encoders.lent(); };
        helper.free = [&context] { return context.busy.load() < context.threads; };
        helper.start = [&context](std::function<void()> work) {
            return startThread(context.start, [&context, work = std::move(work)] {
                const BusyThread busy(context);
                work();
            });
        };
    }
    LzhSegmentEncoder encoder(
        encoders.own(), std::move(helper),
        task.member.originalSize,
        [&](const std::uint8_t* p, std::size_t n) {
            digest.storedCrc = crc32Update(digest.storedCrc, p, n);
            spillOk = spill.append(p, n) && spillOk;
        },
        segmentBuffers);
    const SourceRead read = context.folder.readFile(
        task.source(), expectedOf(task), [&](const std::uint8_t* p, std::size_t n) {
            digest.crc = crc16Update(digest.crc, p, n);
            digest.total += n;
            encoder.write(p, n);
        });
    if (read != SourceRead::Ok) {
        failRead(job, read, task.source());
        return false;
    }
    encoder.finish();
    if (!spillOk) {
        failSpill(job, task.source());
        return false;
    }
    return true;
}

// Whether the encoded member is worth keeping: it shrinks the file, gets a header and
// decodes back. A member that does not decode back is stored as is rather than lost.
bool keepsEncoded(Job& job, const SpillBuffer& spill) {
    const LzhMember& m = job.member;
    if (m.originalSize == 0 || spill.size() >= m.originalSize ||
        spill.size() < kSmallestCompressed)
        return false;
    job.header = encodeLevel2Header(m);
    std::string error;
    return !job.header.empty() && verifySpill(encodeDataCheckHeader(m), spill, m, error);
}

// Replaces the encoded data with the file as it is (-lh0-), read again; encoded is what the
// first reading found, which the second must match.
void storeUnencoded(const Task& task, Job& job, const WorkContext& context,
                    const ReadDigest& encoded) {
    SpillBuffer& spill = *job.data;
    spill.clear();
    ReadDigest digest;
    bool ok = true;
    const SourceRead read = context.folder.readFile(
        task.source(), expectedOf(task), [&](const std::uint8_t* p, std::size_t n) {
            digest.crc = crc16Update(digest.crc, p, n);
            digest.storedCrc = crc32Update(digest.storedCrc, p, n);
            digest.total += n;
            ok = spill.append(p, n) && ok;
        });
    if (read != SourceRead::Ok)
        return failRead(job, read, task.source());
    // Same size and times, yet other bytes: a write that kept both.
    if (digest.total != encoded.total || digest.crc != encoded.crc)
        return failRead(job, SourceRead::Changed, task.source());
    if (!ok)
        return failSpill(job, task.source());
    LzhMember& m = job.member;
    m.setMethod("lh0");
    m.compressedSize = digest.total;
    m.storedCrc = digest.storedCrc;
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

// Compresses one file into the job's spill buffer, falling back to -lh0- when the data does
// not shrink, and decodes the result again before it may enter the archive.
void runCompression(const Task& task, Job& job, const WorkContext& context) {
    job.member = task.member;
    job.data = std::make_unique<SpillBuffer>(context.spillFolder, kSpillMemory);
    ReadDigest digest;
    if (!encodeFile(task, job, context, digest))
        return;
    LzhMember& m = job.member;
    m.originalSize = digest.total;
    m.crc = digest.crc;
    m.setMethod(methodParams(context.method).id + 1);
    m.compressedSize = job.data->size();
    m.storedCrc = digest.storedCrc;
    if (!keepsEncoded(job, *job.data))
        storeUnencoded(task, job, context, digest);
}

} // namespace

EncoderShelf::EncoderShelf() = default;
EncoderShelf::~EncoderShelf() = default;

std::unique_ptr<LzhEncoder> EncoderShelf::take(LzhMethod method) {
    // The one this thread had last, its tables still in the core's cache; else any.
    thread_local const LzhEncoder* had = nullptr;
    std::unique_ptr<LzhEncoder> encoder;
    {
        std::lock_guard lock(m_mutex);
        auto chosen = m_free.end();
        for (auto it = m_free.begin(); it != m_free.end(); ++it) {
            if (it->first != method)
                continue;
            chosen = it;
            if (it->second.get() == had)
                break;
        }
        if (chosen != m_free.end()) {
            encoder = std::move(chosen->second);
            m_free.erase(chosen);
        }
    }
    if (!encoder)
        encoder = std::make_unique<LzhEncoder>(method, nullptr);
    had = encoder.get();
    return encoder;
}

void EncoderShelf::giveBack(LzhMethod method, std::unique_ptr<LzhEncoder> encoder) {
    std::lock_guard lock(m_mutex);
    m_free.emplace_back(method, std::move(encoder));
}

std::size_t jobMemory(const Task& task) {
    // Header, member and bookkeeping; an old member may turn out damaged and be compressed.
    constexpr std::size_t kJobOverhead = 1024;
    return kJobOverhead + static_cast<std::size_t>(std::min<std::uint64_t>(
                              std::max(task.member.originalSize, task.member.compressedSize),
                              kSpillMemory));
}

void runTask(const Task& task, Job& job, const WorkContext& context) {
    const BusyThread busy(context);
    if (task.kind == TaskKind::CopyOld) {
        job.member = task.member;
        std::uint32_t storedCrc = 0;
        std::string why;
        const OldMemberVerdict verdict =
            oldMemberHolds(context.oldArchive, *task.old, &context.folder,
                           task.compare ? task.source() : std::string(), expectedOf(task),
                           storedCrc, why);
        if (verdict == OldMemberVerdict::FileChanged)
            return failRead(job, SourceRead::Changed, task.source());
        if (verdict == OldMemberVerdict::Holds) {
            job.copy = true;
            job.member.storedCrc = storedCrc;
            // The header tells the writer whether the old one can be copied with the data.
            job.header = encodeLevel2Header(job.member);
            return;
        }
        if (task.source().empty()) {
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

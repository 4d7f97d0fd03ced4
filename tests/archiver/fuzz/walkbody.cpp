// The header walks and the sums of sizes, driven by archives built from fields
// (fieldarchive.h) or given whole.

#include "fieldarchive.h"
#include "fuzzbodies.h"
#include "fuzzsupport.h"

#include "archiver/archiver.h"
#include "archiver/expand/expandjob.h"
#include "archiver/files/freespace.h"
#include "archiver/lzh/lzhheaderreader.h"
#include "archiver/base/sizesums.h"
#include "archiver/zip/zipdirectory.h"

namespace vadok::archiver::fuzz {

namespace {

// An expansion of more than this is not tried: a fuzzer's disk would fill long before an
// archive of zero-bit codes ran out.
constexpr std::uint64_t kMostWritten = 8u << 20;

// Every member lies after the one before it and inside the file.
void checkLzhWalk(const ArchiveIndex& index, std::uint64_t fileSize) {
    std::uint64_t end = 0;
    for (const LzhMember& m : index.members) {
        if (m.headerOffset < end || m.dataOffset <= m.headerOffset ||
            m.compressedSize > fileSize - m.dataOffset)
            fault();
        end = m.dataOffset + m.compressedSize;
    }
}

void checkZipWalk(const ZipDirectory& d, std::uint64_t fileSize) {
    std::uint64_t end = 0;
    for (const ZipEntry& e : d.entries) {
        if (e.headerOffset < end || e.dataEnd < e.headerOffset + 30 || e.dataEnd > fileSize)
            fault();
        end = e.dataEnd;
    }
}

// The walks over the archive: what it declares to hold in total, or nullopt when it is damaged.
std::optional<std::uint64_t> walkLzh(const std::string& path, std::uint64_t fileSize) {
    const ArchiveIndex index = readArchiveIndex(path);
    checkLzhWalk(index, fileSize);
    // The sizes panel's walk must come to what the index says.
    const ArchiveTotals totals = readArchiveTotals(path);
    const ArchiveSizes sizes = ReadArchiveSizes(path);
    if (totals.outcome.ok != index.ok || (index.ok && sizes.code != ArchiverOk))
        fault();
    if (!index.ok)
        return std::nullopt;
    std::uint64_t all = 0, files = 0;
    for (const LzhMember& m : index.members) {
        all = saturatingSum(all, m.originalSize);
        if (m.kind == MemberKind::File)
            files = saturatingSum(files, m.originalSize);
    }
    if (totals.members != index.members.size() || totals.originalBytes != all ||
        sizes.originalBytes != all)
        fault();
    return files;
}

std::optional<std::uint64_t> walkZip(const std::string& path, std::uint64_t fileSize) {
    const ZipDirectory d = readZipDirectory(path);
    checkZipWalk(d, fileSize);
    if (!d.ok)
        return std::nullopt;
    std::uint64_t files = 0;
    for (const ZipEntry& e : d.entries)
        if (e.rawName.empty() || e.rawName.back() != '/')
            files = saturatingSum(files, e.originalSize);
    return files;
}

} // namespace

void headerWalk(const std::uint8_t* data, std::size_t size) {
    FieldReader in(data, size);
    const int form = in.byte() % 4;
    const bool zip = form % 2 == 1;
    const std::string bytes = form < 2 ? in.bytes(in.left()) : zip ? zipFromFields(in) : lzhFromFields(in);
    Scratch scratch;
    const std::string archive = (scratch.root / (zip ? "input.zip" : "input.lzh")).string();
    writeBytes(archive, bytes);
    const auto declared = zip ? walkZip(archive, bytes.size()) : walkLzh(archive, bytes.size());
    // What cannot fit must be refused before anything is written; what can is expanded only
    // when it is small.
    const auto free = freeSpaceFor(scratch.root);
    const bool cannotFit = declared && (*declared > kLargestFileSize || (free && *declared > *free));
    if (declared && !cannotFit && *declared > kMostWritten)
        return;
    // A damaged LZH archive may still be one libarchive reads (self-extracting): left alone.
    if (!declared && !zip && bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z')
        return;
    const auto dest = scratch.root / "dest";
    ExpandOptions options;
    options.threads = 1;
    const ExpandResult r = expandArchive(archive, dest.string() + "/",
                                         zip ? ArchiveFormat::Zip : ArchiveFormat::Lzh, options);
    if (r.code == ArchiverOk && (!declared || cannotFit))
        fault();
    if (cannotFit && std::filesystem::exists(dest))
        fault();
    if (r.code == ArchiverOk)
        checkNothingLeadsOut(dest);
    checkNothingBeside(scratch.root, {"input.lzh", ".input.lzh.lock", "input.zip", "dest"});
}

} // namespace vadok::archiver::fuzz

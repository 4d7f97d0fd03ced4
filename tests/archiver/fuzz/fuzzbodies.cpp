#include "fuzzbodies.h"
#include "fuzzsupport.h"

#include "archiver/archiver.h"
#include "archiver/expand/expandjob.h"
#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzhencoder.h"
#include "archiver/lzh/lzhheaderreader.h"
#include "archiver/lzh/lzhheaderwriter.h"
#include "archiver/store/memberverify.h"
#include "archiver/store/storejob.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace vadok::archiver::fuzz {

void encoderRoundTrip(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return;
    const LzhMethod method = static_cast<LzhMethod>(data[0] % 3);
    const std::size_t piece = 1 + static_cast<std::size_t>(data[1]) * 37;
    const std::uint8_t* payload = data + 2;
    const std::size_t length = size - 2;
    std::vector<std::uint8_t> packed;
    LzhEncoder encoder(method, [&](const std::uint8_t* p, std::size_t n) {
        packed.insert(packed.end(), p, p + n);
    });
    for (std::size_t at = 0; at < length; at += piece)
        encoder.write(payload + at, std::min(piece, length - at));
    encoder.finish();
    // The store keeps such short streams as stored data (libarchive cannot decode a few of
    // them), so they are not part of the contract.
    if (packed.size() < 9)
        return;
    LzhMember m;
    m.setMethod(methodParams(method).id + 1);
    m.compressedSize = packed.size();
    m.originalSize = length;
    m.crc = crc16Update(0, payload, length);
    std::size_t at = 0;
    std::string error;
    const bool ok = verifyMemberData(
        encodeDataCheckHeader(m),
        [&](std::uint8_t* dest, std::size_t n) {
            const std::size_t k = std::min(n, packed.size() - at);
            std::copy(packed.begin() + static_cast<long>(at),
                      packed.begin() + static_cast<long>(at + k), dest);
            at += k;
            return k;
        },
        length, m.crc, error);
    if (!ok)
        fault();
}

void archiveUpdate(const std::uint8_t* data, std::size_t size) {
    Scratch scratch;
    const auto archive = scratch.root / "old.lzh";
    writeBytes(archive, data, size);
    std::filesystem::create_directories(scratch.root / "src");
    const std::uint8_t content[] = "new member";
    writeBytes(scratch.root / "src" / "a.txt", content, sizeof content - 1);

    (void)readArchiveIndex(archive.string());
    StoreOptions options;
    options.threads = 1;
    const StoreResult stored =
        storeFolder(archive.string(), (scratch.root / "src").string() + "/", options);
    if (stored.code == ArchiverOk) {
        const ArchiveIndex after = readArchiveIndex(archive.string());
        if (!after.ok || after.members.empty())
            fault();
    }

    writeBytes(archive, data, size);
    const auto dest = scratch.root / "dest";
    if (expandArchive(archive.string(), dest.string() + "/", ArchiveFormat::Lzh, {}).code ==
        ArchiverOk)
        checkNothingLeadsOut(dest);
    checkNothingBeside(scratch.root, {"old.lzh", ".old.lzh.lock", "src", "dest"});
}

void archiveExpand(const std::uint8_t* data, std::size_t size) {
    Scratch scratch;
    const auto archive = scratch.root / "input";
    writeBytes(archive, data, size);
    for (const auto format : {ArchiveFormat::Lzh, ArchiveFormat::Zip}) {
        const auto dest = scratch.root / "dest";
        if (expandArchive(archive.string(), dest.string() + "/", format, {}).code == ArchiverOk)
            checkNothingLeadsOut(dest);
        checkNothingBeside(scratch.root, {"input", "dest"});
        std::error_code ec;
        std::filesystem::remove_all(dest, ec);
    }
}

} // namespace vadok::archiver::fuzz

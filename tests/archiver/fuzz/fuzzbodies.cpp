#include "fuzzbodies.h"

#include "archiver/archiver.h"
#include "archiver/expand/expandjob.h"
#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzhencoder.h"
#include "archiver/lzh/lzhheaderreader.h"
#include "archiver/lzh/lzhheaderwriter.h"
#include "archiver/store/memberverify.h"
#include "archiver/store/storejob.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vadok::archiver::fuzz {

namespace {

[[noreturn]] void fault() {
    __builtin_trap();
}

struct Scratch {
    std::filesystem::path root;
    Scratch() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vadok-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        root = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

void writeBytes(const std::filesystem::path& p, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Every entry below dest, links followed as far as they lead, must stay below dest.
void checkNothingLeadsOut(const std::filesystem::path& dest) {
    std::error_code ec;
    const auto root = std::filesystem::canonical(dest, ec);
    if (ec)
        return;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code resolving;
        const auto where = std::filesystem::weakly_canonical(it->path(), resolving);
        // A loop of links leads nowhere.
        if (resolving)
            continue;
        const auto rel = where.lexically_relative(root);
        if (rel.empty() || *rel.begin() == "..")
            fault();
    }
}

// The expansion's own names, and nothing else, beside the destination.
void checkNothingBeside(const std::filesystem::path& scratch,
                        std::initializer_list<const char*> names) {
    for (const auto& e : std::filesystem::directory_iterator(scratch)) {
        const auto name = e.path().filename().string();
        if (std::find(names.begin(), names.end(), name) == names.end())
            fault();
    }
}

} // namespace

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

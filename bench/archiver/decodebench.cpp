// Decoding speed per method. -lh5-/-lh6-/-lh7- data comes from our encoder over an
// application-like corpus; the other methods from lhasa's test archives in the tests'
// fixtures (no program on Debian writes them), each member repeated until the archive holds
// several megabytes. Every figure is the best of three, in MB of decoded output per second.
// libarchive and ours decode in this process from memory; lhasa runs as `lhasa t` on the
// archive file, so its figure includes reading the file and starting the program.

#include "decodebench.h"

#include "appcorpus.h"
#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzhdecoder.h"
#include "archiver/lzh/lzhencoder.h"
#include "archiver/lzh/lzhheaderreader.h"
#include "archiver/lzh/lzhheaderwriter.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace vadok::archiver;

namespace vadok::bench {

namespace {

using Bytes = std::vector<std::uint8_t>;

double seconds(const std::function<void()>& work) {
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

Bytes readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

struct Member {
    LzhMember header;
    Bytes raw;  // header and data, as in the archive
    std::size_t headerLength = 0;
};

std::vector<Member> membersOf(const Bytes& archive) {
    std::vector<Member> members;
    std::size_t at = 0;
    while (at < archive.size()) {
        Member m;
        const HeaderResult r = parseLzhHeader(archive.data() + at, archive.size() - at, m.header);
        if (r.status != HeaderStatus::Ok || m.header.compressedSize > archive.size() - at - r.headerLength)
            break;
        m.headerLength = r.headerLength;
        const std::size_t length = r.headerLength + m.header.compressedSize;
        m.raw.assign(archive.begin() + static_cast<std::ptrdiff_t>(at),
                     archive.begin() + static_cast<std::ptrdiff_t>(at + length));
        members.push_back(std::move(m));
        at += length;
    }
    return members;
}

// Decodes every member of an archive with ours; returns the bytes decoded (0 on a failure).
std::uint64_t decodeOurs(const std::vector<Member>& members) {
    std::uint64_t total = 0;
    for (const Member& m : members) {
        if (m.header.kind != MemberKind::File)
            continue;
        const std::uint8_t* data = m.raw.data() + m.headerLength;
        std::size_t left = m.header.compressedSize;
        std::uint16_t crc = 0;
        std::string error;
        const DecodeStatus status = decodeLzhData(
            m.header.methodName(),
            [&](std::uint8_t* dest, std::size_t size) {
                const std::size_t n = std::min(size, left);
                std::memcpy(dest, data, n);
                data += n;
                left -= n;
                return n;
            },
            m.header.originalSize,
            [&](const std::uint8_t* d, std::size_t n) {
                crc = crc16Update(crc, d, n);
                return true;
            },
            error);
        if (status != DecodeStatus::Ok || crc != m.header.crc)
            return 0;
        total += m.header.originalSize;
    }
    return total;
}

std::uint64_t decodeLibarchive(const Bytes& lzh) {
    struct archive* a = archive_read_new();
    archive_read_support_format_lha(a);
    std::uint64_t total = 0;
    if (archive_read_open_memory(a, lzh.data(), lzh.size()) == ARCHIVE_OK) {
        archive_entry* entry = nullptr;
        while (archive_read_next_header(a, &entry) == ARCHIVE_OK) {
            const void* buf = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            int r;
            while ((r = archive_read_data_block(a, &buf, &size, &offset)) == ARCHIVE_OK)
                total += size;
            if (r != ARCHIVE_EOF)
                total = 0;
        }
    }
    archive_read_free(a);
    return total;
}

// The members of `source` repeated until they hold `target` bytes, then the end mark.
Bytes repeated(const std::vector<Member>& members, std::uint64_t target) {
    Bytes out;
    std::uint64_t size = 0;
    while (size < target) {
        for (const Member& m : members) {
            out.insert(out.end(), m.raw.begin(), m.raw.end());
            size += m.header.originalSize;
        }
    }
    out.push_back(0);
    return out;
}

Bytes archiveOf(LzhMethod method, const Bytes& data) {
    Bytes packed;
    LzhEncoder encoder(method, [&](const std::uint8_t* d, std::size_t n) { packed.insert(packed.end(), d, d + n); });
    encoder.write(data.data(), data.size());
    encoder.finish();
    LzhMember member;
    member.path = "corpus.bin";
    member.setMethod(methodParams(method).id + 1);
    member.compressedSize = packed.size();
    member.originalSize = data.size();
    member.crc = crc16Update(0, data.data(), data.size());
    member.mtime = 1700000000;
    Bytes archive = encodeLevel2Header(member);
    archive.insert(archive.end(), packed.begin(), packed.end());
    archive.push_back(0);
    return archive;
}

double lhasaSeconds(const fs::path& archive) {
    if (std::system("command -v lhasa >/dev/null") != 0)
        return 0;
    const std::string command = "lhasa tq '" + archive.string() + "' >/dev/null 2>&1";
    bool ok = true;
    const double s = seconds([&] { ok = ok && std::system(command.c_str()) == 0; });
    return ok ? s : -1;
}

void row(const char* method, const char* source, std::uint64_t bytes, double ours, double libarchive,
         double lhasa) {
    const auto rate = [&](double s) {
        char text[32];
        if (s > 0)
            std::snprintf(text, sizeof text, "%8.1f", static_cast<double>(bytes) / 1e6 / s);
        else
            std::snprintf(text, sizeof text, "%8s", s < 0 ? "failed" : "-");
        return std::string(text);
    };
    std::printf("%-6s %-26s %8.1f %s %s %s\n", method, source, static_cast<double>(bytes) / 1e6,
                rate(ours).c_str(), rate(libarchive).c_str(), rate(lhasa).c_str());
}

void measure(const char* method, const char* source, const Bytes& archive, const fs::path& file,
             bool withLibarchive) {
    const std::vector<Member> members = membersOf(archive);
    std::uint64_t bytes = 0;
    const double ours = seconds([&] { bytes = decodeOurs(members); });
    double lib = 0;
    if (withLibarchive) {
        std::uint64_t libBytes = 0;
        lib = seconds([&] { libBytes = decodeLibarchive(archive); });
        if (libBytes != bytes)
            lib = -1;
    }
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(archive.data()),
                                                 static_cast<std::streamsize>(archive.size()));
    row(method, source, bytes, bytes ? ours : -1, lib, lhasaSeconds(file));
}

} // namespace

void printDecodingFigures(const fs::path& work) {
    std::printf("\ndecoding, MB/s of output (best of 3)\n%-6s %-26s %8s %8s %8s %8s\n", "method",
                "data", "MB", "ours", "libarch.", "lhasa t");
    // About 24 MB of the application-like corpus, as one member per method.
    const fs::path corpus = work / "decode-corpus";
    buildAppCorpus(corpus, 24000000);
    Bytes data;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (entry.is_regular_file() && !entry.is_symlink()) {
            const Bytes file = readAll(entry.path());
            data.insert(data.end(), file.begin(), file.end());
        }
    }
    fs::remove_all(corpus);
    for (const LzhMethod method : {LzhMethod::Lh5, LzhMethod::Lh6, LzhMethod::Lh7}) {
        const std::string name = std::string(methodParams(method).id).substr(1, 3);
        measure(name.c_str(), "corpus, our encoder", archiveOf(method, data), work / (name + ".lzh"),
                method != LzhMethod::Lh6);
    }
    const struct {
        const char* method;
        const char* fixture;
    } fixtures[] = {{"lh1", "lharc-long.lzh"}, {"lh4", "amiga-lh4.lzh"},   {"lh5", "amiga-lh5.lzh"},
                    {"lh7", "unix-lh7.lzh"},   {"lhx", "unlha32-lhx.lzh"}, {"lz5", "larc-lz5.lzs"},
                    {"lzs", "lzs.lzs"}};
    for (const auto& f : fixtures) {
        const Bytes archive = readAll(fs::path(VADOK_DECODER_FIXTURES) / f.fixture);
        const std::string source = std::string(f.fixture) + " repeated";
        // libarchive reads -lh5- and -lh7- (and -lh6-), not the older methods
        const bool lib = std::string_view(f.method) == "lh5" || std::string_view(f.method) == "lh7";
        measure(f.method, source.c_str(), repeated(membersOf(archive), 12000000),
                work / (std::string(f.method) + "-repeated.lzh"), lib);
    }
}

} // namespace vadok::bench

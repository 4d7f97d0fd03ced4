#include "memberverify.h"

#include "lzh/crc16.h"
#include "lzh/lzhmethod.h"
#include "reading/archivereading.h"

#include <archive.h>
#include <archive_entry.h>


namespace vadok::archiver {

namespace {

struct Feed {
    const std::vector<std::uint8_t>* header;
    const DataSource* data;
    int stage = 0; // 0 header, 1 data, 2 end marker, 3 done
    std::vector<std::uint8_t>* chunk = nullptr;
    const std::uint8_t endMarker[1] = {0};
};

la_ssize_t readCallback(struct archive*, void* clientData, const void** buffer) {
    auto* f = static_cast<Feed*>(clientData);
    while (true) {
        switch (f->stage) {
        case 0:
            f->stage = 1;
            *buffer = f->header->data();
            return static_cast<la_ssize_t>(f->header->size());
        case 1: {
            const std::size_t n = (*f->data)(f->chunk->data(), f->chunk->size());
            if (n == 0) {
                f->stage = 2;
                continue;
            }
            *buffer = f->chunk->data();
            return static_cast<la_ssize_t>(n);
        }
        case 2:
            f->stage = 3;
            *buffer = f->endMarker;
            return 1;
        default:
            return 0;
        }
    }
}

} // namespace

namespace {

bool verifyWithOwnDecoder(std::string_view method, const DataSource& data,
                          std::uint64_t originalSize, std::uint16_t crc, std::string& error,
                          const DecodedSink& sink, DecodeMode mode) {
    std::uint16_t got = 0;
    bool taken = true;
    const DecodeStatus status = decodeLzhData(
        method, data, originalSize,
        [&](const std::uint8_t* p, std::size_t n) {
            got = crc16Update(got, p, n);
            taken = !sink || sink(p, n);
            return taken;
        },
        error, mode);
    if (!taken)
        error = "decoded data refused";
    else if (status == DecodeStatus::Ok && got != crc)
        error = "decoded CRC differs";
    return taken && status == DecodeStatus::Ok && got == crc;
}

} // namespace

bool verifyMemberData(const std::vector<std::uint8_t>& header, const DataSource& data,
                      std::uint64_t originalSize, std::uint16_t crc, std::string& error,
                      const DecodedSink& sink) {
    // Every level puts the method "-xxx-" at offset 2.
    if (header.size() > 7) {
        const std::string_view method(reinterpret_cast<const char*>(header.data()) + 3, 3);
        // What libarchive reads it must be able to read: strictly, as libarchive does. Our
        // decoder is twice as fast, and the store reads back every member it writes.
        if (ownDecodableMethod(method))
            return verifyWithOwnDecoder(method, data, originalSize, crc, error, sink,
                                        libarchiveDecodes(method) ? DecodeMode::Strict
                                                                  : DecodeMode::Lenient);
    }
    // One buffer per thread: thousands of small members must not each pay for a fresh one.
    thread_local std::vector<std::uint8_t> chunk(256 * 1024);
    prepareLhaReading();
    Feed feed;
    feed.chunk = &chunk;
    feed.header = &header;
    feed.data = &data;
    struct archive* a = archive_read_new();
    archive_read_support_format_lha(a);
    bool ok = false;
    if (archive_read_open(a, &feed, nullptr, readCallback, nullptr) != ARCHIVE_OK) {
        error = archive_error_string(a) ? archive_error_string(a) : "cannot open member";
    } else {
        struct archive_entry* entry = nullptr;
        const int r = archive_read_next_header(a, &entry);
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            error = archive_error_string(a) ? archive_error_string(a) : "unreadable header";
        } else {
            std::uint16_t got = 0;
            std::uint64_t total = 0;
            const void* buf;
            size_t size;
            la_int64_t offset;
            int rr;
            bool taken = true;
            while ((rr = archive_read_data_block(a, &buf, &size, &offset)) == ARCHIVE_OK) {
                got = crc16Update(got, buf, size);
                total += size;
                if (sink && !sink(static_cast<const std::uint8_t*>(buf), size)) {
                    taken = false;
                    break;
                }
            }
            if (!taken)
                error = "decoded data refused";
            else if (rr != ARCHIVE_EOF)
                error = archive_error_string(a) ? archive_error_string(a) : "data does not decode";
            else if (total != originalSize)
                error = "decoded size differs";
            else if (got != crc)
                error = "decoded CRC differs";
            else
                ok = true;
        }
    }
    archive_read_free(a);
    return ok;
}

} // namespace vadok::archiver

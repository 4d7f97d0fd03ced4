#pragma once

// Archives built byte by byte for hostile and damaged cases. Headers come out exactly as
// described, independent of the archiver's own writer, so a test can say anything a
// careless or hostile writer could: names with NUL bytes, sizes that lie, devices, headers
// of every level, a missing end mark.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vadok::test {

// One LZH member. The name is stored as given; levels 2 and 3 split it at the last "/" into the
// directory header (0xFF between parts) and the file name header, levels 0 and 1 keep it
// whole in the base header.
struct LzhEntry {
    std::string name;
    std::string data; // stored after the header as given
    std::string method = "lh0";
    int level = 2;
    std::optional<std::uint16_t> mode = {}; // Unix mode: header 0x50, or level 0's 'U' block
    std::optional<std::uint32_t> codePage = {};
    std::optional<std::uint32_t> originalSize = {};   // default: the data's size
    std::optional<std::uint32_t> compressedSize = {}; // default: the data's size
    std::string extensions = {}; // further extended headers (see extension()), levels 1 to 3
    bool padZeroLowByte = true; // level 2: one byte more when the size's low byte is 0
    std::optional<std::uint32_t> headerSize = {}; // level 3: the total size field's value
    std::optional<std::uint32_t> unixTime = {};   // levels 2 and 3
};
// An extended header; level 3 gives its size field 4 bytes.
std::string extension(std::uint8_t type, const std::string& data, int level = 2);
std::string lzhEntryBytes(const LzhEntry& entry);
std::string lzhArchive(const std::vector<LzhEntry>& entries, bool endMark = true);

// The everyday member of a hostile archive.
struct RawMember {
    std::string path;
    std::string content;
    std::string linkTarget; // non-empty: symbolic link
    bool directory = false;
    unsigned zipMode = 0;                       // ZIP only: st_mode, 0 for the member's kind
    std::optional<std::uint32_t> declaredSize = {}; // ZIP only: the original size claimed
};
LzhEntry lzhEntryFor(const RawMember& member);
// An -lh0- archive with level-2 headers holding the names exactly as given.
void writeRawLzh(const std::string& archive, const std::vector<RawMember>& members);
// A stored (uncompressed) ZIP archive with the given entries, names unchecked; with
// utf8Flag false the names carry no UTF-8 flag, as old Windows zip tools wrote them.
std::string rawZip(const std::vector<RawMember>& members, bool utf8Flag = true);
void writeRawZip(const std::string& archive, const std::vector<RawMember>& members,
                 bool utf8Flag = true);

} // namespace vadok::test

#pragma once

#include "base/memberkind.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vadok::archiver {

// One member as our writer emits it and our header reader returns it. Paths are relative,
// "/"-separated, in file-system bytes (see names.h), without a trailing "/".
struct LzhMember {
    MemberKind kind = MemberKind::File;
    std::string path;
    std::string linkTarget; // symbolic links only
    char method[3] = {'l', 'h', '0'};
    std::uint64_t compressedSize = 0;
    std::uint64_t originalSize = 0;
    std::uint16_t crc = 0;
    std::int64_t mtime = 0; // seconds since 1970 (UTC)
    std::uint32_t mtimeNsec = 0;
    std::optional<std::uint16_t> unixMode; // full st_mode, type bits included
    std::uint8_t dosAttribute = 0x20;
    // CRC-32 of the member's data as stored (compressed), in a header of our own, so that a
    // store can tell a damaged member from a sound one without decoding it.
    std::optional<std::uint32_t> storedCrc;

    // Filled by the reader.
    int level = 2;
    char creator = 'U';
    std::optional<std::uint32_t> codePage;
    bool nameGuessedCp932 = false; // no code page, non-Unix creator, bytes not UTF-8
    std::uint64_t headerOffset = 0;
    std::uint64_t dataOffset = 0;
    // The header's bytes as found in the archive, kept by the index that read it
    // (ArchiveIndex::headers): valid as long as that index or a copy of it.
    std::string_view rawHeader;
    bool storedDataSound = false; // readArchiveIndexChecked read the data, and it matches storedCrc

    std::string methodName() const { return std::string(method, 3); }
    void setMethod(const char* m) { method[0] = m[0], method[1] = m[1], method[2] = m[2]; }
};

} // namespace vadok::archiver

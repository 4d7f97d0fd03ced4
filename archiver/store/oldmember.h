#pragma once

#include "files/sourcefile.h"
#include "lzh/lzhmember.h"

#include <cstdint>
#include <string>

namespace vadok::archiver {

enum class OldMemberVerdict {
    Holds,       // the data may be copied
    Differs,     // damaged, or not what the file holds: why says which
    FileChanged, // the file changed while it was compared
};

// Whether the data of an old member (in the archive open as archiveFd) may be copied into
// the new archive as it is. Its data must be sound: a member of ours carries the CRC-32 of
// its stored data, which is compared without decoding; any other is decoded and its CRC-16
// checked. With a file to compare (relative to folder, and expected as the scan saw it), the
// member is decoded and must give exactly that file's bytes. On success storedCrc is the
// CRC-32 of the stored data; otherwise why says what differs.
OldMemberVerdict oldMemberHolds(int archiveFd, const LzhMember& old, const SourceFolder* folder,
                                const std::string& fileToCompare, const ExpectedFile& expected,
                                std::uint32_t& storedCrc, std::string& why);

} // namespace vadok::archiver

#pragma once

#include "lzhmember.h"

#include <cstdint>
#include <string>

namespace vadok::archiver {

class SourceFolder;

// Whether the data of an old member (in the archive open as archiveFd) may be copied into
// the new archive as it is. Its data must be sound: a member of ours carries the CRC-32 of
// its stored data, which is compared without decoding; any other is decoded and its CRC-16
// checked. With a file to compare (relative to folder), the member is decoded and must give
// exactly that file's bytes. On success storedCrc is the CRC-32 of the stored data; on
// failure why says what differs.
bool oldMemberHolds(int archiveFd, const LzhMember& old, const SourceFolder* folder,
                    const std::string& fileToCompare, std::uint32_t& storedCrc,
                    std::string& why);

} // namespace vadok::archiver

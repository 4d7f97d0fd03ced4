#pragma once

#include <cstdint>

namespace vadok::archiver {

// What a member is in any format: the only things an expansion creates and a store keeps.
enum class MemberKind : std::uint8_t { File, Directory, Symlink };

} // namespace vadok::archiver

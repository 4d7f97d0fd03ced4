#pragma once

#include "iconimages.h"

#include <cstddef>
#include <string>
#include <vector>

namespace glimtake {

// No sound icon comes near this; a group adding up to more is refused rather than allocated.
inline constexpr std::size_t kMaxIconFileBytes = 64u * 1024 * 1024;

// The bytes of the .ico file for one RT_GROUP_ICON resource, or nullopt when the group cannot
// be assembled (why then says which part failed).
std::optional<std::vector<std::uint8_t>> IconGroupToFile(std::span<const std::uint8_t> group,
                                                         const IconImages& images,
                                                         std::string* why = nullptr);

} // namespace glimtake

#pragma once

#include "bytesource.h"

#include <optional>
#include <vector>

namespace glimtake {

// A module claiming more group entries than this in total is not worth the time it would
// take; no real module comes within a hundredth of it.
inline constexpr std::uint64_t kMaxGroupEntriesExamined = 1u << 20;

// The .ico file of the module's icon: of all RT_GROUP_ICON groups, the last one in enumeration
// order that can be assembled. nullopt when the bytes are no PE image or no group assembles.
std::optional<std::vector<std::uint8_t>> extractIcon(const ByteSource& module);

} // namespace glimtake

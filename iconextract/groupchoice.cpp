#include "groupchoice.h"

#include "icofilewriter.h"
#include "peiconimages.h"
#include "peresources.h"

#include <algorithm>

namespace glimtake {

namespace {

// The group's header and entries, no more: a group resource may declare any size.
std::optional<std::vector<std::uint8_t>> groupBytes(const ByteSource& source,
                                                    const ResourceLocation& where,
                                                    std::uint64_t& budget) {
    const auto count = where.size >= 6 ? source.u16(where.fileOffset + 4) : std::nullopt;
    if (!count)
        return std::nullopt;
    const std::uint64_t cost = std::uint64_t(*count) + 1;
    if (cost > budget) {
        budget = 0;
        return std::nullopt;
    }
    budget -= cost;
    const std::uint64_t length = std::min<std::uint64_t>(where.size, 6 + 14 * std::uint64_t(*count));
    return source.bytes(where.fileOffset, length);
}

} // namespace

std::optional<std::vector<std::uint8_t>> extractIcon(const ByteSource& module) {
    const auto pe = PeResources::read(module);
    if (!pe)
        return std::nullopt;
    const std::vector<Resource> groups = pe->list(kRtGroupIcon);
    if (groups.empty())
        return std::nullopt;
    const PeIconImages images(*pe);

    // Writing each group over the previous one leaves the last that assembles; looking from
    // the end gives that same group while building only one file.
    std::uint64_t budget = kMaxGroupEntriesExamined;
    for (auto it = groups.rbegin(); it != groups.rend() && budget > 0; ++it) {
        const auto where = pe->locate(*it);
        const auto group = where ? groupBytes(module, *where, budget) : std::nullopt;
        if (!group)
            continue;
        if (auto file = IconGroupToFile(*group, images))
            return file;
    }
    return std::nullopt;
}

} // namespace glimtake

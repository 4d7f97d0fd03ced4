#include "groupchoice.h"

#include "icongroups.h"

namespace glimtake {

std::optional<std::vector<std::uint8_t>> extractIcon(const ByteSource& module) {
    const auto groups = IconGroups::read(module);
    if (!groups)
        return std::nullopt;

    // Writing each group over the previous one leaves the last that assembles; looking from
    // the end gives that same group while building only one file.
    std::uint64_t budget = kMaxGroupEntriesExamined;
    for (std::size_t i = groups->count(); i-- > 0 && budget > 0;) {
        const auto entries = groups->declaredEntries(i);
        if (!entries)
            continue;
        const std::uint64_t cost = std::uint64_t(*entries) + 1;
        if (cost > budget)
            return std::nullopt;
        budget -= cost;
        if (auto file = groups->icoFile(i))
            return file;
    }
    return std::nullopt;
}

} // namespace glimtake

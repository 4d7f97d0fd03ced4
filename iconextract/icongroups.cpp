#include "icongroups.h"

#include "icofilewriter.h"

#include <algorithm>

namespace glimtake {

IconGroups::IconGroups(PeResources pe)
    : m_pe(std::move(pe)), m_groups(m_pe.list(kRtGroupIcon)), m_images(m_pe) {}

std::unique_ptr<IconGroups> IconGroups::read(const ByteSource& module, std::string* why) {
    auto pe = PeResources::read(module, why);
    if (!pe)
        return nullptr;
    return std::unique_ptr<IconGroups>(new IconGroups(std::move(*pe)));
}

std::optional<ResourceLocation> IconGroups::headerOf(std::size_t index) const {
    if (index >= m_groups.size())
        return std::nullopt;
    const auto where = m_pe.locate(m_groups[index]);
    if (!where || where->size < 6)
        return std::nullopt;
    return where;
}

std::optional<std::uint16_t> IconGroups::declaredEntries(std::size_t index) const {
    const auto where = headerOf(index);
    return where ? m_pe.source().u16(where->fileOffset + 4) : std::nullopt;
}

std::optional<std::vector<std::uint8_t>> IconGroups::icoFile(std::size_t index,
                                                             std::string* why) const {
    const auto where = headerOf(index);
    const auto count = where ? m_pe.source().u16(where->fileOffset + 4) : std::nullopt;
    if (!count) {
        if (why)
            *why = "group " + std::to_string(index) + " has no readable header";
        return std::nullopt;
    }
    // The header and entries, no more: a group resource may declare any size.
    const std::uint64_t length =
        std::min<std::uint64_t>(where->size, 6 + 14 * std::uint64_t(*count));
    const auto group = m_pe.source().bytes(where->fileOffset, length);
    if (!group) {
        if (why)
            *why = "group " + std::to_string(index) + " unreadable";
        return std::nullopt;
    }
    return IconGroupToFile(*group, m_images, why);
}

} // namespace glimtake

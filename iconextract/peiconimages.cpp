#include "peiconimages.h"

namespace glimtake {

PeIconImages::PeIconImages(const PeResources& pe) : m_pe(pe), m_byId(pe.numbered(kRtIcon)) {}

std::optional<std::uint32_t> PeIconImages::imageSize(std::uint16_t id) const {
    const auto it = m_byId.find(id);
    if (it == m_byId.end())
        return std::nullopt;
    return it->second.size;
}

bool PeIconImages::readImage(std::uint16_t id, std::span<std::uint8_t> out) const {
    const auto it = m_byId.find(id);
    if (it == m_byId.end() || it->second.size != out.size())
        return false;
    return m_pe.source().read(it->second.fileOffset, out);
}

} // namespace glimtake

#pragma once

#include "iconimages.h"
#include "peresources.h"

namespace glimtake {

// The RT_ICON resources of one module, indexed once so each group entry is a hash lookup.
class PeIconImages final : public IconImages {
public:
    explicit PeIconImages(const PeResources& pe);

    std::optional<std::uint32_t> imageSize(std::uint16_t id) const override;
    bool readImage(std::uint16_t id, std::span<std::uint8_t> out) const override;

private:
    const PeResources& m_pe;
    std::unordered_map<std::uint16_t, ResourceLocation> m_byId;
};

} // namespace glimtake

#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace glimtake {

// The images of an icon group, looked up by their resource ID: a module's RT_ICON resources,
// or a plain table in tests.
class IconImages {
public:
    virtual ~IconImages() = default;
    // nullopt when no image has this ID.
    virtual std::optional<std::uint32_t> imageSize(std::uint16_t id) const = 0;
    // Fills out, which is exactly imageSize(id) bytes long.
    virtual bool readImage(std::uint16_t id, std::span<std::uint8_t> out) const = 0;
};

} // namespace glimtake

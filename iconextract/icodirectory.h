#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace glimtake {

// One image of an .ico file, as its directory entry and the image's own header describe it.
struct IcoImageEntry {
    int width = 0;    // pixels; the directory's 0 means 256
    int height = 0;
    int bitCount = 0; // bits per pixel the image itself declares (PNG images count as 32)
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// The directory of an .ico file held in file; nullopt when the bytes are no icon file or an
// image lies outside them (why then says which).
std::optional<std::vector<IcoImageEntry>> readIcoDirectory(std::span<const std::uint8_t> file,
                                                           std::string* why = nullptr);

// The image to draw in a square of side pixels: the smallest that is at least that large,
// else the largest; among images of one size the deepest colour. nullopt for no images.
std::optional<std::size_t> imageForSize(const std::vector<IcoImageEntry>& images, int side);

} // namespace glimtake

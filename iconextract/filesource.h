#pragma once

#include "bytesource.h"

#include <filesystem>
#include <fstream>
#include <memory>

namespace glimtake {

// A byte source reading a file on demand, so a large program is never loaded whole just to
// find its icon.
class FileSource final : public ByteSource {
public:
    // nullptr unless path is a regular file that can be opened: a FIFO or device dropped on
    // the launcher would otherwise block or never end.
    static std::unique_ptr<FileSource> open(const std::filesystem::path& path);

    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    FileSource(std::ifstream stream, std::uint64_t size);

    mutable std::ifstream m_stream;
    std::uint64_t m_size;
};

} // namespace glimtake

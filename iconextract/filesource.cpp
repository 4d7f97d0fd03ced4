#include "filesource.h"

namespace glimtake {

std::unique_ptr<FileSource> FileSource::open(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return nullptr;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec)
        return nullptr;
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        return nullptr;
    return std::unique_ptr<FileSource>(new FileSource(std::move(stream), size));
}

FileSource::FileSource(std::ifstream stream, std::uint64_t size)
    : m_stream(std::move(stream)), m_size(size) {}

bool FileSource::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (!contains(offset, out.size()))
        return false;
    m_stream.clear();
    m_stream.seekg(static_cast<std::streamoff>(offset));
    m_stream.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return m_stream.gcount() == static_cast<std::streamsize>(out.size());
}

} // namespace glimtake

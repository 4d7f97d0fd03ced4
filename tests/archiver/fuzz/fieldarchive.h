#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Archives built from fields that a fuzzer's bytes choose, so that its mutations reach the
// walks and the sums of sizes rather than dying at the first checksum: headers of every LZH
// level with sound checksums and CRCs (unless a field asks otherwise), ZIP entries with sound
// local headers and directory, and sizes and offsets drawn from the values near the limits
// (0, 2^32 - 1, 2^62, 2^63, 2^64 - 1, and sizes that wrap an offset round to an earlier
// header or entry).
namespace vadok::archiver::fuzz {

// Takes the input's bytes one field at a time; past the end every field reads as 0.
class FieldReader {
public:
    FieldReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::uint64_t number(int bytes);
    std::string bytes(std::size_t n);
    bool empty() const { return m_at >= m_size; }
    std::size_t left() const { return m_size - m_at; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

// An LZH archive of up to 8 members, each: level, method, name, data, 64-bit sizes (0x42) or
// not, the compressed and original sizes (each the data's length, a value near a limit, one
// that wraps the walk round to an earlier header, or 8 bytes of the input), a broken
// checksum or not; then the end mark or not, and bytes after it.
std::string lzhFromFields(FieldReader& in);

// A ZIP archive of up to 8 stored or deflated entries, each with zip64 fields or not, sizes
// and the local header offset as for lzhFromFields (an offset may point at another entry's
// header); then the central directory, a zip64 end record or not, and the end record.
std::string zipFromFields(FieldReader& in);

} // namespace vadok::archiver::fuzz

#pragma once

#include "bytesource.h"

namespace glimtake {

// A byte source over a buffer the caller keeps alive (tests, the fuzzer).
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> data) : m_data(data) {}

    std::uint64_t size() const override { return m_data.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    std::span<const std::uint8_t> m_data;
};

} // namespace glimtake

#include "memorysource.h"

#include <algorithm>

namespace glimtake {

bool MemorySource::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (!contains(offset, out.size()))
        return false;
    std::copy_n(m_data.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
}

} // namespace glimtake

#pragma once

#include "peiconimages.h"
#include "peresources.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace glimtake {

// The icon groups of one module, numbered as the platform's icon extraction numbers a
// module's icons: in enumeration order, named groups first, then IDs ascending. A group is
// assembled only when asked for, because a library may hold hundreds and a caller drawing a
// few of them should not pay for all.
class IconGroups {
public:
    // nullptr when the bytes are no PE image (why then says what was wrong). The source must
    // outlive the result.
    static std::unique_ptr<IconGroups> read(const ByteSource& module, std::string* why = nullptr);

    IconGroups(const IconGroups&) = delete;
    IconGroups& operator=(const IconGroups&) = delete;

    std::size_t count() const { return m_groups.size(); }

    // The number of entries group index says it has; nullopt when its header cannot be read.
    std::optional<std::uint16_t> declaredEntries(std::size_t index) const;

    // The .ico file of group index; nullopt when there is no such group or it does not
    // assemble (why then says which part failed).
    std::optional<std::vector<std::uint8_t>> icoFile(std::size_t index,
                                                     std::string* why = nullptr) const;

private:
    explicit IconGroups(PeResources pe);

    std::optional<ResourceLocation> headerOf(std::size_t index) const;

    PeResources m_pe;
    std::vector<Resource> m_groups;
    PeIconImages m_images; // refers to m_pe, which is why the object never moves
};

} // namespace glimtake

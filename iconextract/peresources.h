#pragma once

#include "bytesource.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace glimtake {

inline constexpr std::uint16_t kRtIcon = 3;
inline constexpr std::uint16_t kRtGroupIcon = 14;

// One entry of the second level of the resource tree: a resource of some type, named either
// by a number or by a string. The string itself is read only on request, because nothing but
// the order of named entries matters for picking an icon.
struct Resource {
    bool named = false;
    std::uint16_t id = 0;           // when !named
    std::uint32_t nameOffset = 0;   // when named: string's offset in the resource section
    std::uint32_t languageDir = 0;  // offset of its language directory in the resource section
};

// Where the bytes of one resource lie in the file.
struct ResourceLocation {
    std::uint64_t fileOffset = 0;
    std::uint32_t size = 0;
};

// The resource tree of a PE32 or PE32+ image, read from its bytes without loading it.
class PeResources {
public:
    // nullopt when the bytes are not a PE image; why then says what was wrong. An image without
    // a resource directory is valid and simply lists nothing.
    static std::optional<PeResources> read(const ByteSource& source, std::string* why = nullptr);

    bool isPe32Plus() const { return m_pe32Plus; }
    const ByteSource& source() const { return *m_source; }

    // The resources of one numbered type in the order the platform enumerates them: entries
    // named by strings first, in directory order, then numbered ones by ascending ID.
    std::vector<Resource> list(std::uint16_t type) const;

    // The bytes of the first language of a resource; nullopt when that entry is broken or
    // points outside the file.
    std::optional<ResourceLocation> locate(const Resource& resource) const;

    // Numbered resources of one type by ID, each at its first language. For an ID listed
    // twice the earlier directory entry counts.
    std::unordered_map<std::uint16_t, ResourceLocation> numbered(std::uint16_t type) const;

    // The string naming a named resource.
    std::optional<std::u16string> nameOf(const Resource& resource) const;

private:
    struct Section {
        std::uint32_t virtualAddress;
        std::uint32_t rawSize;
        std::uint32_t rawPointer;
    };
    struct DirectoryEntry {
        std::uint32_t name;
        std::uint32_t target;
    };

    explicit PeResources(const ByteSource& source) : m_source(&source) {}

    std::optional<std::uint64_t> fileOffset(std::uint64_t rva, std::uint64_t length) const;
    std::optional<std::uint64_t> resourceOffset(std::uint32_t offset, std::uint64_t length) const;
    std::vector<DirectoryEntry> entries(std::uint32_t directory, bool firstOnly = false) const;
    std::optional<std::uint32_t> typeDirectory(std::uint16_t type) const;

    const ByteSource* m_source;
    bool m_pe32Plus = false;
    std::vector<Section> m_sections;
    std::uint32_t m_resourceRva = 0; // 0: the image has no resources
};

} // namespace glimtake

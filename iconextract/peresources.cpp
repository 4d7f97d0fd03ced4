// Reading the resource tree of a Windows PE image (PE32 and PE32+). All integers are
// little-endian.
//
//   DOS header   "MZ" at 0; u32 at 0x3C: file offset of the PE signature.
//   Signature    "PE\0\0", followed by the 20-byte COFF header:
//                  +2 u16 number of sections, +16 u16 size of the optional header.
//   Optional     starts 24 bytes after the signature; u16 magic 0x10B (PE32) or 0x20B (PE32+).
//   header         u32 number of data directories at +92 (PE32) / +108 (PE32+), the
//                  directories (u32 RVA, u32 size each) right after it. Directory 2 holds the
//                  resource tree.
//   Sections     40 bytes each, right after the optional header: +12 u32 virtual address,
//                  +16 u32 raw size, +20 u32 file offset of the raw data. An RVA inside
//                  [virtual address, virtual address + raw size) lies at
//                  raw offset + (RVA - virtual address) in the file.
//   Resource     three levels of directories (type, name, language). Each directory is a
//   tree           16-byte header (+12 u16 named entries, +14 u16 numbered entries) followed by
//                  8-byte entries: u32 name (top bit set: offset of a string, u16 length in
//                  UTF-16 units then the units; else the ID in the low 16 bits) and u32 target
//                  (top bit set: offset of a subdirectory; else offset of a 16-byte data
//                  entry: u32 RVA of the bytes, u32 size). Offsets here are relative to the
//                  start of the resource tree, not RVAs.
//
// Every offset comes from the file, so each one is checked against the file before use. The
// tree is walked to a fixed depth, so a directory pointing back at itself cannot loop.

#include "peresources.h"

#include <algorithm>

namespace glimtake {

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;

bool fail(std::string* why, const char* text) {
    if (why)
        *why = text;
    return false;
}

} // namespace

std::optional<PeResources> PeResources::read(const ByteSource& source, std::string* why) {
    PeResources pe(source);
    const auto mz = source.u16(0);
    if (!mz || *mz != 0x5A4D) {
        fail(why, "no MZ signature");
        return std::nullopt;
    }
    const auto peOffset = source.u32(0x3C);
    const auto signature = peOffset ? source.u32(*peOffset) : std::nullopt;
    if (!signature || *signature != 0x00004550) {
        fail(why, "no PE signature where the DOS header points");
        return std::nullopt;
    }
    const auto coff = source.bytes(*peOffset + 4, 20);
    if (!coff) {
        fail(why, "COFF header truncated");
        return std::nullopt;
    }
    const std::uint16_t sectionCount = le16(coff->data() + 2);
    const std::uint16_t optionalSize = le16(coff->data() + 16);
    const std::uint64_t optionalOffset = std::uint64_t(*peOffset) + 24;
    const auto optional = source.bytes(optionalOffset, optionalSize);
    if (!optional || optionalSize < 2) {
        fail(why, "optional header truncated");
        return std::nullopt;
    }
    const std::uint16_t magic = le16(optional->data());
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
        fail(why, "optional header is neither PE32 nor PE32+");
        return std::nullopt;
    }
    pe.m_pe32Plus = magic == kMagicPe32Plus;
    const std::size_t countAt = pe.m_pe32Plus ? 108 : 92;
    const std::size_t directoriesAt = countAt + 4;
    if (optional->size() >= directoriesAt) {
        const std::uint32_t count = le32(optional->data() + countAt);
        const std::size_t entryAt = directoriesAt + 8 * kResourceDirectoryIndex;
        // The declared count and the header's size must both cover the entry.
        if (count > kResourceDirectoryIndex && optional->size() >= entryAt + 8) {
            const std::uint32_t rva = le32(optional->data() + entryAt);
            const std::uint32_t size = le32(optional->data() + entryAt + 4);
            if (size != 0)
                pe.m_resourceRva = rva;
        }
    }

    const auto table = source.bytes(optionalOffset + optionalSize, std::uint64_t(sectionCount) * 40);
    if (!table) {
        fail(why, "section table truncated");
        return std::nullopt;
    }
    pe.m_sections.reserve(sectionCount);
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::uint8_t* s = table->data() + 40 * i;
        pe.m_sections.push_back({le32(s + 12), le32(s + 16), le32(s + 20)});
    }
    // Sorted so a lookup costs a binary search even with tens of thousands of sections.
    std::stable_sort(pe.m_sections.begin(), pe.m_sections.end(),
                     [](const Section& a, const Section& b) {
                         return a.virtualAddress < b.virtualAddress;
                     });
    return pe;
}

std::optional<std::uint64_t> PeResources::fileOffset(std::uint64_t rva, std::uint64_t length) const {
    // The section starting last at or below the RVA; sections of sound images do not overlap,
    // and for overlapping ones any answer inside the file is as good as another.
    auto after = std::upper_bound(m_sections.begin(), m_sections.end(), rva,
                                  [](std::uint64_t v, const Section& s) {
                                      return v < s.virtualAddress;
                                  });
    if (after == m_sections.begin())
        return std::nullopt;
    const Section& s = *(after - 1);
    const std::uint64_t into = rva - s.virtualAddress;
    if (into >= s.rawSize || length > s.rawSize - into)
        return std::nullopt;
    const std::uint64_t offset = std::uint64_t(s.rawPointer) + into;
    if (!m_source->contains(offset, length))
        return std::nullopt;
    return offset;
}

std::optional<std::uint64_t> PeResources::resourceOffset(std::uint32_t offset,
                                                         std::uint64_t length) const {
    if (m_resourceRva == 0)
        return std::nullopt;
    return fileOffset(std::uint64_t(m_resourceRva) + offset, length);
}

std::vector<PeResources::DirectoryEntry> PeResources::entries(std::uint32_t directory,
                                                              bool firstOnly) const {
    std::vector<DirectoryEntry> result;
    const auto header = resourceOffset(directory, 16);
    if (!header)
        return result;
    const auto counts = m_source->bytes(*header + 12, 4);
    if (!counts)
        return result;
    std::uint64_t count = std::uint64_t(le16(counts->data())) + le16(counts->data() + 2);
    if (firstOnly)
        count = std::min<std::uint64_t>(count, 1);
    // At most 131070 entries of 8 bytes, and only when the file really holds them.
    const auto at = resourceOffset(directory + 16u, count * 8);
    const auto raw = at ? m_source->bytes(*at, count * 8) : std::nullopt;
    if (!raw)
        return result;
    result.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        result.push_back({le32(raw->data() + 8 * i), le32(raw->data() + 8 * i + 4)});
    return result;
}

std::optional<std::uint32_t> PeResources::typeDirectory(std::uint16_t type) const {
    for (const DirectoryEntry& e : entries(0)) {
        if (!(e.name & kHighBit) && (e.name & 0xFFFF) == type && (e.target & kHighBit))
            return e.target & ~kHighBit;
    }
    return std::nullopt;
}

std::vector<Resource> PeResources::list(std::uint16_t type) const {
    std::vector<Resource> named;
    std::vector<Resource> numbered;
    const auto directory = typeDirectory(type);
    if (!directory)
        return named;
    for (const DirectoryEntry& e : entries(*directory)) {
        if (!(e.target & kHighBit))
            continue; // a name level entry must lead to its languages
        Resource r;
        r.languageDir = e.target & ~kHighBit;
        if (e.name & kHighBit) {
            r.named = true;
            r.nameOffset = e.name & ~kHighBit;
            named.push_back(r);
        } else {
            r.id = static_cast<std::uint16_t>(e.name & 0xFFFF);
            numbered.push_back(r);
        }
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const Resource& a, const Resource& b) { return a.id < b.id; });
    named.insert(named.end(), numbered.begin(), numbered.end());
    return named;
}

std::optional<ResourceLocation> PeResources::locate(const Resource& resource) const {
    const auto languages = entries(resource.languageDir, true);
    if (languages.empty() || (languages.front().target & kHighBit))
        return std::nullopt;
    const auto entry = resourceOffset(languages.front().target, 16);
    const auto data = entry ? m_source->bytes(*entry, 8) : std::nullopt;
    if (!data)
        return std::nullopt;
    const std::uint32_t rva = le32(data->data());
    const std::uint32_t size = le32(data->data() + 4);
    const auto offset = fileOffset(rva, size);
    if (!offset)
        return std::nullopt;
    return ResourceLocation{*offset, size};
}

std::unordered_map<std::uint16_t, ResourceLocation> PeResources::numbered(std::uint16_t type) const {
    std::unordered_map<std::uint16_t, ResourceLocation> byId;
    for (const Resource& r : list(type)) {
        if (r.named || byId.contains(r.id))
            continue;
        if (const auto where = locate(r))
            byId.emplace(r.id, *where);
    }
    return byId;
}

std::optional<std::u16string> PeResources::nameOf(const Resource& resource) const {
    if (!resource.named)
        return std::nullopt;
    const auto at = resourceOffset(resource.nameOffset, 2);
    const auto length = at ? m_source->u16(*at) : std::nullopt;
    if (!length)
        return std::nullopt;
    const auto textAt = resourceOffset(resource.nameOffset + 2u, std::uint64_t(*length) * 2);
    const auto raw = textAt ? m_source->bytes(*textAt, std::uint64_t(*length) * 2) : std::nullopt;
    if (!raw)
        return std::nullopt;
    std::u16string text(*length, u'\0');
    for (std::size_t i = 0; i < *length; ++i)
        text[i] = static_cast<char16_t>(le16(raw->data() + 2 * i));
    return text;
}

} // namespace glimtake

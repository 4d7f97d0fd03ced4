#include "testpe.h"

#include "iconextract/bytesource.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>

namespace glimtake::test {

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    if (b.size() < at + 2)
        b.resize(at + 2);
    putLe16(b.data() + at, v);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    if (b.size() < at + 4)
        b.resize(at + 4);
    putLe32(b.data() + at, v);
}

Bytes readFixture(const std::string& name) {
    std::ifstream in(std::string(GLIMTAKE_FIXTURES) + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << "fixture missing: " << name;
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::optional<std::vector<IcoImage>> parseIco(const Bytes& file) {
    if (file.size() < 6 || le16(&file[0]) != 0 || le16(&file[2]) != 1)
        return std::nullopt;
    const std::size_t count = le16(&file[4]);
    std::size_t expected = 6 + 16 * count;
    if (file.size() < expected)
        return std::nullopt;
    std::vector<IcoImage> images;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = &file[6 + 16 * i];
        IcoImage image{e[0], e[1], e[2], le16(e + 4), le16(e + 6), le32(e + 12), {}};
        const std::uint32_t size = le32(e + 8);
        if (e[3] != 0 || image.offset != expected || file.size() - expected < size)
            return std::nullopt;
        image.bytes.assign(file.begin() + expected, file.begin() + expected + size);
        expected += size;
        images.push_back(std::move(image));
    }
    if (expected != file.size())
        return std::nullopt;
    return images;
}

void expectSameImages(const Bytes& extracted, const std::string& sourceIcon) {
    const auto got = parseIco(extracted);
    const auto want = parseIco(readFixture(sourceIcon));
    ASSERT_TRUE(got) << "extracted file is not a well-formed icon";
    ASSERT_TRUE(want) << sourceIcon;
    ASSERT_EQ(got->size(), want->size());
    for (std::size_t i = 0; i < got->size(); ++i) {
        EXPECT_EQ((*got)[i].width, (*want)[i].width) << i;
        EXPECT_EQ((*got)[i].height, (*want)[i].height) << i;
        EXPECT_EQ((*got)[i].colours, (*want)[i].colours) << i;
        EXPECT_EQ((*got)[i].planes, 0) << i;
        EXPECT_EQ((*got)[i].bitCount, 0) << i;
        EXPECT_EQ((*got)[i].bytes, (*want)[i].bytes) << i;
    }
}

Bytes groupResource(const std::vector<GroupEntry>& entries) {
    Bytes g;
    put16(g, 2, 1);
    put16(g, 4, static_cast<std::uint16_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t at = 6 + 14 * i;
        put16(g, at + 12, entries[i].imageId);
        g[at] = entries[i].width;
        g[at + 1] = entries[i].height;
        g[at + 2] = entries[i].colours;
        g[at + 3] = 0x5A; // reserved, planes and bit count must not reach the file
        put16(g, at + 4, 1);
        put16(g, at + 6, 32);
        put32(g, at + 8, entries[i].declaredSize);
    }
    return g;
}

ResourceSection resourceSection(const std::vector<TestResource>& resources) {
    std::vector<std::uint16_t> types;
    std::map<std::uint16_t, std::vector<std::size_t>> byType;
    for (std::size_t i = 0; i < resources.size(); ++i) {
        if (!byType.contains(resources[i].type))
            types.push_back(resources[i].type);
        byType[resources[i].type].push_back(i);
    }
    ResourceSection s;
    const std::size_t n = resources.size();
    std::uint32_t at = 16 + 8 * static_cast<std::uint32_t>(types.size());
    for (std::uint16_t t : types) {
        s.typeDirectory.push_back(at);
        at += 16 + 8 * static_cast<std::uint32_t>(byType[t].size());
    }
    s.languageDirectory.resize(n);
    s.dataEntry.resize(n);
    for (std::size_t i = 0; i < n; ++i, at += 24)
        s.languageDirectory[i] = at;
    for (std::size_t i = 0; i < n; ++i, at += 16)
        s.dataEntry[i] = at;

    Bytes& b = s.bytes;
    put16(b, 14, static_cast<std::uint16_t>(types.size()));
    for (std::size_t t = 0; t < types.size(); ++t) {
        put32(b, 16 + 8 * t, types[t]);
        put32(b, 20 + 8 * t, 0x80000000u | s.typeDirectory[t]);
        const std::uint32_t dir = s.typeDirectory[t];
        std::uint16_t named = 0;
        const auto& members = byType[types[t]];
        for (std::size_t k = 0; k < members.size(); ++k) {
            const TestResource& r = resources[members[k]];
            std::uint32_t name;
            if (const auto* id = std::get_if<std::uint16_t>(&r.name)) {
                name = *id;
            } else {
                const auto& text = std::get<std::u16string>(r.name);
                ++named;
                name = 0x80000000u | at;
                put16(b, at, static_cast<std::uint16_t>(text.size()));
                for (char16_t c : text)
                    put16(b, at += 2, c);
                at = (at + 2 + 3) & ~3u;
            }
            put32(b, dir + 16 + 8 * k, name);
            put32(b, dir + 20 + 8 * k, 0x80000000u | s.languageDirectory[members[k]]);
        }
        put16(b, dir + 12, named);
        put16(b, dir + 14, static_cast<std::uint16_t>(members.size() - named));
    }
    for (std::size_t i = 0; i < n; ++i) {
        put16(b, s.languageDirectory[i] + 14, 1);
        put32(b, s.languageDirectory[i] + 16, 0x409);
        put32(b, s.languageDirectory[i] + 20, s.dataEntry[i]);
        put32(b, s.dataEntry[i], kSectionRva + at);
        put32(b, s.dataEntry[i] + 4, static_cast<std::uint32_t>(resources[i].data.size()));
        b.resize(at);
        b.insert(b.end(), resources[i].data.begin(), resources[i].data.end());
        at = (static_cast<std::uint32_t>(b.size()) + 3) & ~3u;
    }
    b.resize(at);
    return s;
}

Bytes peImage(const Bytes& section, bool pe32Plus) {
    Bytes pe;
    put16(pe, 0, 0x5A4D);
    put32(pe, 0x3C, 0x40);
    put32(pe, 0x40, 0x00004550);
    const std::uint16_t optionalSize = pe32Plus ? 240 : 224;
    put16(pe, 0x44, pe32Plus ? 0x8664 : 0x14C);
    put16(pe, 0x46, 1);
    put16(pe, 0x54, optionalSize);
    const std::size_t optional = 0x58;
    put16(pe, optional, pe32Plus ? 0x20B : 0x10B);
    const std::size_t directories = optional + (pe32Plus ? 112 : 96);
    put32(pe, directories - 4, 16);
    put32(pe, directories + 16, kSectionRva);
    put32(pe, directories + 20, static_cast<std::uint32_t>(section.size()));
    const std::size_t header = optional + optionalSize;
    pe.resize(header + 40);
    std::copy_n(".rsrc", 5, pe.begin() + static_cast<std::ptrdiff_t>(header));
    put32(pe, header + 8, static_cast<std::uint32_t>(section.size()));
    put32(pe, header + 12, kSectionRva);
    put32(pe, header + 16, static_cast<std::uint32_t>(section.size()));
    put32(pe, header + 20, kSectionFileOffset);
    pe.resize(kSectionFileOffset);
    pe.insert(pe.end(), section.begin(), section.end());
    return pe;
}

} // namespace glimtake::test

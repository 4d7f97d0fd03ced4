#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace glimtake::test {

using Bytes = std::vector<std::uint8_t>;

// A generated fixture's bytes; a missing fixture fails the test.
Bytes readFixture(const std::string& name);

// One image of an .ico file as its own directory describes it: the oracle for extraction.
struct IcoImage {
    std::uint8_t width, height, colours;
    std::uint16_t planes, bitCount;
    std::uint32_t offset;
    Bytes bytes;
};
// nullopt unless the file is exactly header, directory and the images it lists, back to back.
std::optional<std::vector<IcoImage>> parseIco(const Bytes& file);
// Expects extracted to carry the images of the fixture sourceIcon, the .ico that went into a
// module, each with planes and bit count cleared.
void expectSameImages(const Bytes& extracted, const std::string& sourceIcon);

// A group resource (RT_GROUP_ICON) listing the given entries.
struct GroupEntry {
    std::uint8_t width, height, colours;
    std::uint32_t declaredSize;
    std::uint16_t imageId;
};
Bytes groupResource(const std::vector<GroupEntry>& entries);

// A resource section laid out the way linkers do (directories, data entries, strings, data),
// with the offsets a hostile test may want to corrupt.
struct TestResource {
    std::uint16_t type;
    std::variant<std::uint16_t, std::u16string> name;
    Bytes data;
};
struct ResourceSection {
    Bytes bytes;
    std::vector<std::uint32_t> typeDirectory;     // per distinct type, in order of appearance
    std::vector<std::uint32_t> languageDirectory; // per resource
    std::vector<std::uint32_t> dataEntry;         // per resource
};
inline constexpr std::uint32_t kSectionRva = 0x1000;
ResourceSection resourceSection(const std::vector<TestResource>& resources);

// A minimal PE32+ (or PE32) image whose only section holds the given resource section.
Bytes peImage(const Bytes& resourceSection, bool pe32Plus = true);
inline constexpr std::size_t kSectionFileOffset = 0x200;

void put16(Bytes& b, std::size_t at, std::uint16_t v);
void put32(Bytes& b, std::size_t at, std::uint32_t v);

} // namespace glimtake::test

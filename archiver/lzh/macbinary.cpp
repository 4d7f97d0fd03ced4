#include "macbinary.h"

#include "names/names.h"

#include <algorithm>
#include <string>

namespace vadok::archiver {

namespace {

constexpr std::int64_t kMacEpochOffset = 2082844800; // 1904 to 1970, in seconds
constexpr std::int64_t kWidestZoneGap = 14 * 3600;
constexpr std::size_t kNameField = 63;

std::uint32_t be32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

bool zero(const std::uint8_t* p, std::size_t n) {
    return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

// The name MacBinary gives, compared as the member's own name was made from its bytes.
bool sameName(const std::uint8_t* macName, std::size_t length, const LzhMember& member) {
    const std::size_t slash = member.path.rfind('/');
    const std::string fileName =
        slash == std::string::npos ? member.path : member.path.substr(slash + 1);
    const std::string_view raw(reinterpret_cast<const char*>(macName), length);
    return raw == fileName || decodeName(raw, member.codePage, member.creator) == fileName;
}

} // namespace

std::optional<MacBinaryFork> macBinaryDataFork(const std::uint8_t* head, std::size_t size,
                                               const LzhMember& member) {
    if (member.creator != 'm' || member.kind != MemberKind::File ||
        member.originalSize < kMacBinaryHeaderSize || size < kMacBinaryHeaderSize)
        return std::nullopt;
    if (head[0x00] != 0 || head[0x4A] != 0 || head[0x52] != 0 || !zero(head + 0x63, 0x80 - 0x63))
        return std::nullopt;
    const std::size_t nameLength = head[0x01];
    if (nameLength == 0 || nameLength > kNameField || !sameName(head + 0x02, nameLength, member) ||
        !zero(head + 0x02 + nameLength, kNameField - nameLength))
        return std::nullopt;
    const std::uint64_t dataFork = be32(head + 0x53);
    const std::uint64_t resourceFork = be32(head + 0x57);
    // Each fork is padded on its own, so a file with both is longer than their sum padded.
    const auto padded = [](std::uint64_t n) { return (n + 127) & ~std::uint64_t{127}; };
    if (kMacBinaryHeaderSize + padded(dataFork) + padded(resourceFork) != member.originalSize)
        return std::nullopt;
    const std::int64_t modified = static_cast<std::int64_t>(be32(head + 0x5F)) - kMacEpochOffset;
    if (modified < 0 || std::max(modified, member.mtime) - std::min(modified, member.mtime) >
                            kWidestZoneGap)
        return std::nullopt;
    return MacBinaryFork{kMacBinaryHeaderSize, dataFork > 0 ? dataFork : resourceFork};
}

} // namespace vadok::archiver

namespace vadok::archiver {

MacBinaryUnwrapper::MacBinaryUnwrapper(const LzhMember& member, Out out)
    : m_member(member), m_out(std::move(out)) {
    // Only MacLHA wraps; every other member goes straight through.
    m_decided = member.creator != 'm';
    m_fork = {0, member.originalSize};
}

bool MacBinaryUnwrapper::take(const std::uint8_t* data, std::size_t size) {
    if (m_decided)
        return pass(data, size);
    const std::size_t held = std::min(size, kMacBinaryHeaderSize - m_head.size());
    m_head.insert(m_head.end(), data, data + held);
    if (m_head.size() < kMacBinaryHeaderSize)
        return true;
    if (!finish())
        return false;
    return pass(data + held, size - held);
}

bool MacBinaryUnwrapper::finish() {
    if (m_decided)
        return true;
    m_decided = true;
    if (const auto fork = macBinaryDataFork(m_head.data(), m_head.size(), m_member))
        m_fork = *fork;
    return pass(m_head.data(), m_head.size());
}

bool MacBinaryUnwrapper::pass(const std::uint8_t* data, std::size_t size) {
    const std::uint64_t from = m_decoded;
    m_decoded += size;
    const std::uint64_t begin = std::max(from, m_fork.offset);
    const std::uint64_t end = std::min(m_decoded, m_fork.offset + m_fork.length);
    if (begin >= end)
        return true;
    return m_out(data + (begin - from), static_cast<std::size_t>(end - begin), begin - m_fork.offset);
}

} // namespace vadok::archiver

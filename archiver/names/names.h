#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vadok::archiver {

// How member names are stored. A path is a relative name with "/" between its parts, in the
// bytes the file system gave us (normally UTF-8, but any bytes but "/" and NUL may occur).
//
// - Names that CP932 can hold exactly (converting there and back gives the same bytes) are
//   written in CP932 with the code-page header 0x46 = 932, as Windows tools expect; plain
//   ASCII names read the same in every code page and go without the header.
// - Other UTF-8 names (characters outside CP932) are written as they are with the code page
//   65001 (UTF-8), so that readers convert them from UTF-8 whatever their locale.
// - Names that are not valid UTF-8 are written as their raw bytes with the code page 437,
//   in which every byte is a character: libarchive (bsdtar) stops reading an archive at
//   the first name it cannot convert, which without a code page is any name not valid in
//   the reader's locale. From a Unix creator ('U') our reader takes these names back byte
//   for byte.
// lhasa ignores code pages and writes every stored name's bytes as they are.
struct StoredName {
    std::string bytes; // "/" still separates the parts
    std::optional<std::uint32_t> codePage;
};

StoredName encodeName(std::string_view path);

// Whether encodeName keeps path as it is, being plain ASCII, which needs no code page.
bool isPlainName(std::string_view path);

// The path a stored name stands for. codePage is the member's 0x46 value if it had one;
// creator the header's OS byte. Names without a code page from a non-Unix creator that are
// not valid UTF-8 are taken as CP932 (old Windows archives); Unix names without a code page
// or with 437 are raw bytes.
std::string decodeName(std::string_view stored, std::optional<std::uint32_t> codePage,
                       char creator);

// The path a ZIP member name stands for. A name with the UTF-8 flag is UTF-8. One without
// it is UTF-8 when it is valid UTF-8 (tools on Unix write the bytes they were given), else
// CP932 when it is valid CP932 (Japanese Windows), else CP437, in which every byte is a
// character (the code page ZIP tools have taken unflagged names in since DOS, and where names
// written on Windows in other code pages, or raw Latin-1 bytes, end up readable). With
// preferCp932, an archive whose other unflagged names were CP932, a name valid in both is
// taken as CP932. Each name is decoded on its own: archives mix flagged and unflagged ones.
// A Unicode path field that belongs to the name (zipdirectory.h) goes before all of this.
std::string decodeZipName(std::string_view stored, bool utf8Flag, bool preferCp932);

// Whether an unflagged ZIP name can only be CP932: not UTF-8, but valid CP932.
bool isCp932OnlyName(std::string_view stored);

bool isValidUtf8(std::string_view s);

// Appends the code point c (below 0x110000) to out in UTF-8.
void appendUtf8(std::string& out, char32_t c);

// Conversion between UTF-8 and CP932; nullopt when a character has no counterpart.
std::optional<std::string> utf8ToCp932(std::string_view s);
std::optional<std::string> cp932ToUtf8(std::string_view s);

} // namespace vadok::archiver

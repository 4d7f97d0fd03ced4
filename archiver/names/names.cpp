#include "names.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace vadok::archiver {

namespace {

constexpr std::uint32_t kUtf8CodePage = 65001;
constexpr std::uint32_t kRawBytesCodePage = 437;

std::optional<std::string> convert(const char* to, const char* from, std::string_view s) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(s.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(s.data());
    std::size_t inLeft = s.size();
    char* o = out.data();
    std::size_t outLeft = out.size();
    const std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || inLeft != 0)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    while (i < n) {
        const unsigned c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        unsigned len;
        std::uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (unsigned k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

std::optional<std::string> utf8ToCp932(std::string_view s) {
    return convert("CP932", "UTF-8", s);
}
std::optional<std::string> cp932ToUtf8(std::string_view s) {
    return convert("UTF-8", "CP932", s);
}

bool isPlainName(std::string_view path) {
    // Plain ASCII reads the same in CP932, except the two bytes some CP932 tables map to the
    // yen sign and overline; those take the slow path like everything else.
    return std::all_of(path.begin(), path.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x80 && u != 0x5C && u != 0x7E;
    });
}

StoredName encodeName(std::string_view path) {
    if (isPlainName(path))
        return {std::string(path), 932u};
    if (!isValidUtf8(path))
        return {std::string(path), kRawBytesCodePage};
    if (auto cp = utf8ToCp932(path)) {
        auto back = cp932ToUtf8(*cp);
        if (back && *back == path)
            return {std::move(*cp), 932u};
    }
    return {std::string(path), kUtf8CodePage};
}

std::string decodeName(std::string_view stored, std::optional<std::uint32_t> codePage,
                       char creator) {
    if (codePage) {
        if (*codePage == kUtf8CodePage || (*codePage == kRawBytesCodePage && creator == 'U'))
            return std::string(stored);
        const std::string charset = *codePage == 932 ? "CP932" : "CP" + std::to_string(*codePage);
        if (auto u = convert("UTF-8", charset.c_str(), stored))
            return *u;
        return std::string(stored);
    }
    if (creator == 'U' || isValidUtf8(stored))
        return std::string(stored);
    if (auto u = cp932ToUtf8(stored))
        return *u;
    return std::string(stored);
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string decodeZipName(std::string_view stored, bool utf8Flag, bool preferCp932) {
    if (utf8Flag)
        return std::string(stored);
    const bool utf8 = isValidUtf8(stored);
    const bool ascii = std::all_of(stored.begin(), stored.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii || (utf8 && !preferCp932))
        return std::string(stored);
    if (auto u = cp932ToUtf8(stored))
        return *u;
    if (utf8)
        return std::string(stored);
    if (auto u = convert("UTF-8", "CP437", stored))
        return *u;
    return std::string(stored);
}

bool isCp932OnlyName(std::string_view stored) {
    return !isValidUtf8(stored) && cp932ToUtf8(stored).has_value();
}

} // namespace vadok::archiver

#include "casefolding.h"

#include "names/names.h"

#include <cstdlib>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

namespace vadok::archiver {

namespace {

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string asciiUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = asciiUpper(c);
    return out;
}

// The code point of the UTF-8 sequence at s[i], with its length in n; 0 when there is none
// (a byte of no sequence, an overlong form, a surrogate).
char32_t utf8At(std::string_view s, std::size_t i, std::size_t& n) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char lead = b(0);
    n = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
    if (n == 1 || i + n > s.size())
        return n = 1, 0;
    char32_t c = lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80)
            return n = 1, 0;
        c = (c << 6) | (b(k) & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[n] || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF)
        return n = 1, 0;
    return c;
}

// Upper case as the C.UTF-8 locale has it, whatever locale the calling thread is in.
char32_t upper(char32_t c) {
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!utf8)
        return c < 0x80 ? static_cast<char32_t>(asciiUpper(static_cast<char>(c))) : c;
    return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), utf8));
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

CaseFolding caseFoldingOf(const std::string& folder) {
    // "a" with a diaeresis asks for letters beyond ASCII; a file system that takes no such
    // name is asked with ASCII alone.
    for (const char* stem : {".vadok-case-probe-a\xC3\xA4-", ".vadok-case-probe-a-"}) {
        std::string probe = folder + "/" + stem + "XXXXXX";
        const int fd = ::mkstemp(probe.data());
        if (fd < 0)
            continue;
        ::close(fd);
        const std::size_t nameAt = probe.rfind('/') + 1;
        const std::string upperAscii = probe.substr(0, nameAt) + asciiUpper(probe.substr(nameAt));
        const std::string upperAll =
            probe.substr(0, nameAt) + foldedPath(probe.substr(nameAt), CaseFolding::Unicode);
        const CaseFolding folding = !exists(upperAscii)                     ? CaseFolding::None
                                    : upperAll != upperAscii && exists(upperAll) ? CaseFolding::Unicode
                                                                                 : CaseFolding::Ascii;
        ::unlink(probe.c_str());
        return folding;
    }
    return CaseFolding::None;
}

std::string foldedPath(std::string_view path, CaseFolding folding) {
    if (folding == CaseFolding::None)
        return std::string(path);
    if (folding == CaseFolding::Ascii)
        return asciiUpper(path);
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0, n = 0; i < path.size(); i += n) {
        const char32_t c = utf8At(path, i, n);
        if (c == 0)
            out += asciiUpper(path[i]);
        else
            appendUtf8(out, upper(c));
    }
    return out;
}

} // namespace vadok::archiver

#pragma once

#include <locale.h>

namespace vadok::archiver {

// libarchive converts member names into the calling thread's locale. Names must come out
// as UTF-8 whatever locale the host process runs in, so reading switches this thread to
// C.UTF-8 for the duration of a call.
class Utf8ThreadLocale {
public:
    Utf8ThreadLocale() {
        // Made once: building a locale loads its data files, far too slow per call.
        static const locale_t utf8 =
            ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        m_locale = utf8;
        if (m_locale)
            m_previous = ::uselocale(m_locale);
    }
    ~Utf8ThreadLocale() {
        if (m_locale)
            ::uselocale(m_previous);
    }
    Utf8ThreadLocale(const Utf8ThreadLocale&) = delete;
    Utf8ThreadLocale& operator=(const Utf8ThreadLocale&) = delete;

private:
    locale_t m_locale = static_cast<locale_t>(0);
    locale_t m_previous = static_cast<locale_t>(0);
};

} // namespace vadok::archiver

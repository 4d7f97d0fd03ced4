#include "catalog/cp932codec.h"

#include <QList>

#include <libxml/encoding.h>

#include <cstring>
#include <iconv.h>

namespace vadok {

namespace {

constexpr char16_t kNone = 0xFFFF;

// One character through iconv; -1 when iconv refuses the bytes.
int iconvDecode(iconv_t cd, const unsigned char* bytes, size_t length) {
    char inBuf[2];
    std::memcpy(inBuf, bytes, length);
    unsigned char outBuf[8];
    char* in = inBuf;
    char* out = reinterpret_cast<char*>(outBuf);
    size_t inLeft = length;
    size_t outLeft = sizeof outBuf;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in, &inLeft, &out, &outLeft) == size_t(-1) || inLeft != 0)
        return -1;
    if (sizeof outBuf - outLeft != 4)
        return -1; // one byte turned into several characters: not a plain mapping
    // UTF-32LE, so the byte order is fixed regardless of the host.
    return int(outBuf[0] | outBuf[1] << 8 | outBuf[2] << 16 | unsigned(outBuf[3]) << 24);
}

// Bytes iconv chooses for one code point: 1 or 2, 0 when it refuses.
int iconvEncode(iconv_t cd, char32_t codePoint, unsigned char out[2]) {
    unsigned char inBuf[4] = {static_cast<unsigned char>(codePoint & 0xFF),
                              static_cast<unsigned char>(codePoint >> 8 & 0xFF),
                              static_cast<unsigned char>(codePoint >> 16 & 0xFF), 0};
    char outBuf[4];
    char* in = reinterpret_cast<char*>(inBuf);
    char* o = outBuf;
    size_t inLeft = 4;
    size_t outLeft = sizeof outBuf;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in, &inLeft, &o, &outLeft) == size_t(-1))
        return 0;
    const int n = int(sizeof outBuf - outLeft);
    if (n < 1 || n > 2)
        return 0;
    std::memcpy(out, outBuf, size_t(n));
    return n;
}

int utf8Length(char32_t cp) {
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

void putUtf8(unsigned char* out, char32_t cp) {
    if (cp < 0x80) {
        out[0] = static_cast<unsigned char>(cp);
    } else if (cp < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | cp >> 6);
        out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | cp >> 12);
        out[1] = static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else {
        out[0] = static_cast<unsigned char>(0xF0 | cp >> 18);
        out[1] = static_cast<unsigned char>(0x80 | (cp >> 12 & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3F));
        out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    }
}

// Length of the UTF-8 sequence starting at in (0: incomplete at the end, -1: malformed).
int readUtf8(const unsigned char* in, int available, char32_t* cp) {
    const unsigned char b = in[0];
    int length;
    char32_t value;
    if (b < 0x80) {
        *cp = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        length = 2;
        value = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3;
        value = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4;
        value = b & 0x07;
    } else {
        return -1;
    }
    if (available < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((in[i] & 0xC0) != 0x80)
            return -1;
        value = value << 6 | (in[i] & 0x3F);
    }
    *cp = value;
    return length;
}

} // namespace

const Cp932Codec& Cp932Codec::instance() {
    static const Cp932Codec* codec = new Cp932Codec;
    return *codec;
}

bool Cp932Codec::isLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

Cp932Codec::Cp932Codec() {
    std::fill(std::begin(m_single), std::end(m_single), kNone);
    std::fill(std::begin(m_double), std::end(m_double), kNone);
    std::fill(std::begin(m_encode), std::end(m_encode), quint16(0));

    iconv_t toUnicode = iconv_open("UTF-32LE", "CP932");
    iconv_t fromUnicode = iconv_open("CP932", "UTF-32LE");
    if (toUnicode == iconv_t(-1) || fromUnicode == iconv_t(-1)) {
        if (toUnicode != iconv_t(-1))
            iconv_close(toUnicode);
        if (fromUnicode != iconv_t(-1))
            iconv_close(fromUnicode);
        return;
    }

    // Prefer the bytes iconv itself picks for a character (CP932 has duplicate codes for the
    // IBM extensions); fall back to the first sequence that reads as it.
    auto claim = [&](char32_t cp, quint16 sequence) {
        if (cp >= 0x10000 || m_encode[cp] != 0)
            return;
        unsigned char chosen[2];
        const int n = iconvEncode(fromUnicode, cp, chosen);
        if (n == 1 && m_single[chosen[0]] == cp)
            m_encode[cp] = chosen[0];
        else if (n == 2 && m_double[chosen[0] << 8 | chosen[1]] == cp)
            m_encode[cp] = quint16(chosen[0] << 8 | chosen[1]);
        else
            m_encode[cp] = sequence;
    };

    for (int b = 0; b < 0x100; ++b) {
        if (isLeadByte(static_cast<unsigned char>(b)))
            continue;
        const unsigned char byte = static_cast<unsigned char>(b);
        const int cp = iconvDecode(toUnicode, &byte, 1);
        if (cp >= 0 && cp < 0xFFFF)
            m_single[b] = char16_t(cp);
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isLeadByte(static_cast<unsigned char>(lead)))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const unsigned char pair[2] = {static_cast<unsigned char>(lead),
                                           static_cast<unsigned char>(trail)};
            const int cp = iconvDecode(toUnicode, pair, 2);
            if (cp >= 0 && cp < 0xFFFF)
                m_double[lead << 8 | trail] = char16_t(cp);
        }
    }
    for (int b = 0; b < 0x100; ++b) {
        if (m_single[b] != kNone && m_single[b] != 0)
            claim(m_single[b], quint16(b));
    }
    for (int code = 0x8100; code < 0x10000; ++code) {
        if (m_double[code] != kNone)
            claim(m_double[code], quint16(code));
    }
    iconv_close(toUnicode);
    iconv_close(fromUnicode);
    m_available = m_single[0x41] == u'A' && m_double[0x8740] == u'\u2460';
}

int Cp932Codec::decodeSingle(unsigned char byte) const {
    return m_single[byte] == kNone ? -1 : m_single[byte];
}

int Cp932Codec::decodePair(unsigned char lead, unsigned char trail) const {
    const char16_t cp = m_double[lead << 8 | trail];
    return cp == kNone ? -1 : cp;
}

int Cp932Codec::encode(char32_t codePoint, unsigned char out[2]) const {
    if (codePoint == 0 || codePoint >= 0x10000)
        return 0;
    const quint16 code = m_encode[codePoint];
    if (code == 0)
        return 0;
    if (code < 0x100) {
        out[0] = static_cast<unsigned char>(code);
        return 1;
    }
    out[0] = static_cast<unsigned char>(code >> 8);
    out[1] = static_cast<unsigned char>(code & 0xFF);
    return 2;
}

bool Cp932Codec::decodeToUtf8(const QByteArray& bytes, QByteArray* utf8,
                              qsizetype* badOffset) const {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    QByteArray out(size * 3 / 2 + 16, Qt::Uninitialized);
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    qsizetype used = 0;
    for (qsizetype i = 0; i < size;) {
        const unsigned char b = in[i];
        if (b < 0x80) {
            // ASCII maps to itself in CP932, so the bulk of the markup copies straight.
            if (used + 1 > out.size()) {
                out.resize(out.size() * 2);
                o = reinterpret_cast<unsigned char*>(out.data());
            }
            o[used++] = b;
            ++i;
            continue;
        }
        int cp;
        if (isLeadByte(b)) {
            cp = i + 1 < size ? decodePair(b, in[i + 1]) : -1;
            if (cp >= 0)
                i += 2;
        } else {
            cp = decodeSingle(b);
            if (cp >= 0)
                ++i;
        }
        if (cp < 0) {
            if (badOffset)
                *badOffset = i;
            return false;
        }
        if (used + 3 > out.size()) {
            out.resize(out.size() * 2);
            o = reinterpret_cast<unsigned char*>(out.data());
        }
        putUtf8(o + used, char32_t(cp));
        used += utf8Length(char32_t(cp));
    }
    out.truncate(used);
    *utf8 = std::move(out);
    return true;
}

QByteArray Cp932Codec::encodeFromUtf8WithReferences(const QByteArray& utf8) const {
    const auto* in = reinterpret_cast<const unsigned char*>(utf8.constData());
    const qsizetype size = utf8.size();
    // A character CP932 holds never takes more bytes than in UTF-8, so the output keeps up
    // with the input in a buffer of the input's size. Only references can be longer; each
    // one makes room for itself and for the rest of the input at once.
    QByteArray out(size, Qt::Uninitialized);
    char* o = out.data();
    qsizetype used = 0;
    for (qsizetype i = 0; i < size;) {
        if (in[i] < 0x80) {
            o[used++] = char(in[i++]);
            continue;
        }
        char32_t cp = 0xFFFD;
        int length = readUtf8(in + i, int(qMin<qsizetype>(size - i, 4)), &cp);
        if (length <= 0) {
            length = 1; // a broken sequence is written as the replacement character
            cp = 0xFFFD;
        }
        i += length;
        unsigned char bytes[2];
        const int n = encode(cp, bytes);
        if (n > 0) {
            o[used++] = char(bytes[0]);
            if (n == 2)
                o[used++] = char(bytes[1]);
            continue;
        }
        const QByteArray reference = "&#" + QByteArray::number(quint32(cp)) + ';';
        const qsizetype needed = used + reference.size() + (size - i);
        if (needed > out.size()) {
            out.resize(needed + needed / 8);
            o = out.data();
        }
        std::memcpy(o + used, reference.constData(), size_t(reference.size()));
        used += reference.size();
    }
    out.truncate(used);
    return out;
}

QByteArray Cp932Codec::fromUnicode(const QString& text) const {
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (char32_t cp : text.toUcs4()) {
        unsigned char out[2];
        const int n = encode(cp, out);
        if (n == 0)
            bytes.append('?');
        else
            bytes.append(reinterpret_cast<const char*>(out), n);
    }
    return bytes;
}

QString Cp932Codec::toUnicode(const QByteArray& bytes) const {
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        int cp;
        if (isLeadByte(b) && i + 1 < bytes.size()) {
            cp = decodePair(b, static_cast<unsigned char>(bytes[++i]));
        } else {
            cp = isLeadByte(b) ? -1 : decodeSingle(b);
        }
        text.append(cp < 0 ? QChar(QChar::ReplacementCharacter) : QChar(char16_t(cp)));
    }
    return text;
}

bool registerCp932WithLibxml() {
    static const bool registered = [] {
        if (!Cp932Codec::instance().isAvailable())
            return false;
        // libxml2 upper-cases names before it looks them up, so one spelling per alias is
        // enough for every letter case. Should anything hand libxml2 the bytes directly, it
        // then goes through iconv's CP932 rather than its strict SHIFT_JIS.
        for (const char* alias : {"SHIFT_JIS", "SHIFT-JIS", "SJIS", "MS_KANJI", "CSSHIFTJIS",
                                  "X-SJIS", "WINDOWS-31J", "MS932", "X-MS-CP932", "CP943"})
            xmlAddEncodingAlias("CP932", alias);
        return true;
    }();
    return registered;
}

bool isCp932EncodingName(const QByteArray& name) {
    if (name.isEmpty() || !registerCp932WithLibxml())
        return false;
    if (name.toUpper() == "CP932")
        return true;
    const char* alias = xmlGetEncodingAlias(name.constData());
    return alias && QByteArray(alias).toUpper() == "CP932";
}

} // namespace vadok

#pragma once

#include <QByteArray>
#include <QString>

namespace vadok {

// Windows code page 932, the byte form of the data file. The tables come from the platform's
// iconv ("CP932"), kept only where a character survives the round trip: glibc maps some
// characters one way only (U+00A5 YEN SIGN to 0x5C, U+301C WAVE DASH to 0x8160), and writing
// those as bytes would change them on the next read. They count as unencodable instead, so
// the XML writer emits them as character references.
class Cp932Codec {
public:
    static const Cp932Codec& instance();

    bool isAvailable() const { return m_available; }

    // Code point for a single byte, or for a lead/trail pair; -1 when the bytes name nothing.
    int decodeSingle(unsigned char byte) const;
    int decodePair(unsigned char lead, unsigned char trail) const;
    static bool isLeadByte(unsigned char byte);

    // Bytes for a code point: 1 or 2 bytes written to out, 0 when CP932 cannot hold it.
    int encode(char32_t codePoint, unsigned char out[2]) const;

    // Whole-buffer conversions between CP932 and UTF-8, done in one pass before libxml2
    // parses and after it serialises: several times faster than its encoder hooks.
    // Decoding fails on bytes that name no character; *badOffset receives where.
    bool decodeToUtf8(const QByteArray& bytes, QByteArray* utf8, qsizetype* badOffset) const;
    // Characters CP932 cannot hold become "&#N;"; callers hand in serialised XML, where that
    // is how such a character is written.
    QByteArray encodeFromUtf8WithReferences(const QByteArray& utf8) const;

    // Whole-text conversions for the template and tests; unencodable characters become '?'
    // and undecodable bytes U+FFFD, so callers that must not lose text check first.
    QByteArray fromUnicode(const QString& text) const;
    QString toUnicode(const QByteArray& bytes) const;

private:
    Cp932Codec();

    bool m_available = false;
    char16_t m_single[256];     // 0xFFFF: no character
    char16_t m_double[0x10000]; // index lead << 8 | trail
    quint16 m_encode[0x10000];  // 0: unencodable, else the byte(s); single bytes below 0x100
};

// Maps every Shift_JIS spelling (any case, "SJIS", "Windows-31J", ...) to CP932 in libxml2's
// alias table, which is how XmlDocument recognises the data file's declaration. Safe to call
// repeatedly; false when the platform's iconv lacks CP932.
bool registerCp932WithLibxml();

// True when libxml2 resolves this encoding name to the CP932 handler.
bool isCp932EncodingName(const QByteArray& name);

} // namespace vadok

// Windows shell link (.lnk) files, just far enough to find the local target path.
//
// All integers are little-endian.
//   0x00 u32 header size, always 0x4C
//   0x04 16-byte class id 00021401-0000-0000-C000-000000000046
//   0x14 u32 link flags: bit 0 a target ID list follows the header, bit 1 a link-info block
//        follows (after the ID list)
//   0x4C [u16 ID list size, then that many bytes] when bit 0 is set
//   link info: u32 size, u32 header size, u32 flags (bit 0: volume id and local base path
//        present), u32 volume id offset, u32 local base path offset, u32 network link offset,
//        u32 common path suffix offset, and when the header size is at least 0x24 two more
//        u32: the offsets of the UTF-16 local base path and common path suffix.
//        Offsets count from the start of the link info. The narrow strings are NUL-terminated
//        in the system code page (CP932 here), the wide ones UTF-16LE.
// The target is the local base path followed by the common path suffix.
#include "util/lnkreader.h"

#include <QStringDecoder>

namespace vadok {

namespace {

class Reader {
public:
    explicit Reader(const QByteArray& bytes) : m_bytes(bytes) {}

    bool u16(qsizetype at, quint32& out) const {
        if (at < 0 || at + 2 > m_bytes.size())
            return false;
        out = quint8(m_bytes[at]) | quint32(quint8(m_bytes[at + 1])) << 8;
        return true;
    }
    bool u32(qsizetype at, quint32& out) const {
        if (at < 0 || at + 4 > m_bytes.size())
            return false;
        out = 0;
        for (int i = 3; i >= 0; --i)
            out = out << 8 | quint8(m_bytes[at + i]);
        return true;
    }
    // NUL-terminated narrow string within [at, limit).
    QByteArray narrow(qsizetype at, qsizetype limit) const {
        QByteArray out;
        for (qsizetype i = at; i >= 0 && i < limit && i < m_bytes.size() && m_bytes[i] != '\0'; ++i)
            out += m_bytes[i];
        return out;
    }
    QString wide(qsizetype at, qsizetype limit) const {
        QString out;
        quint32 unit = 0;
        for (qsizetype i = at; i + 1 < limit && u16(i, unit) && unit != 0; i += 2)
            out += QChar(char16_t(unit));
        return out;
    }
    qsizetype size() const { return m_bytes.size(); }

private:
    const QByteArray& m_bytes;
};

const QByteArray kLinkClsid = QByteArray::fromHex("0114020000000000c000000000000046");

} // namespace

LnkTarget ReadLnkTarget(const QByteArray& bytes) {
    const Reader r(bytes);
    quint32 headerSize = 0, flags = 0;
    if (!r.u32(0, headerSize) || headerSize != 0x4C || bytes.size() < 0x4C)
        return {QString(), QStringLiteral("not a shell link header")};
    if (bytes.mid(4, 16) != kLinkClsid)
        return {QString(), QStringLiteral("wrong shell link class id")};
    r.u32(0x14, flags);

    qsizetype at = 0x4C;
    if (flags & 0x1) {
        quint32 idListSize = 0;
        if (!r.u16(at, idListSize))
            return {QString(), QStringLiteral("truncated target id list")};
        at += 2 + idListSize;
    }
    if (!(flags & 0x2))
        return {QString(), QStringLiteral("no link info: the target is not a local path")};

    quint32 infoSize = 0, infoHeaderSize = 0, infoFlags = 0, baseOffset = 0, suffixOffset = 0;
    if (!r.u32(at, infoSize) || !r.u32(at + 4, infoHeaderSize) || !r.u32(at + 8, infoFlags) ||
        !r.u32(at + 16, baseOffset) || !r.u32(at + 24, suffixOffset))
        return {QString(), QStringLiteral("truncated link info")};
    if (infoSize < infoHeaderSize || at + qsizetype(infoSize) > r.size())
        return {QString(), QStringLiteral("link info runs past the end of the file")};
    if (!(infoFlags & 0x1))
        return {QString(), QStringLiteral("the link has no local base path")};
    const qsizetype limit = at + infoSize;

    QString path;
    quint32 wideBase = 0, wideSuffix = 0;
    if (infoHeaderSize >= 0x24 && r.u32(at + 28, wideBase) && r.u32(at + 32, wideSuffix) &&
        wideBase != 0) {
        path = r.wide(at + wideBase, limit);
        if (wideSuffix != 0)
            path += r.wide(at + wideSuffix, limit);
    } else {
        QStringDecoder cp932("CP932");
        path = cp932(r.narrow(at + baseOffset, limit));
        if (suffixOffset != 0)
            path += cp932(r.narrow(at + suffixOffset, limit));
    }
    if (path.isEmpty())
        return {QString(), QStringLiteral("empty local base path")};
    path.replace(u'\\', u'/');
    return {path, QString()};
}

} // namespace vadok

// The store file, all numbers little-endian:
//
//   "VADOKIC1"                      magic, 8 bytes
//   u32 side                        AppIconCache::kSide
//   u32 count                       entries that follow
//   count times:
//     u32 n, n bytes                the icon file's path, UTF-8
//     u64 device, u64 inode, i64 size, i64 modified-ns    the version the picture is of
//     side * side u32               the picture, premultiplied ARGB, row by row
//
// and nothing after the last entry.
#include "shell/appiconcache.h"

#include "catalog/atomicfile.h"

#include <QFile>
#include <QStringDecoder>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok {

namespace {

constexpr char kMagic[] = "VADOKIC1";
constexpr qsizetype kMagicBytes = 8;
constexpr qsizetype kPixelBytes = qsizetype(AppIconCache::kSide) * AppIconCache::kSide * 4;
// Longer than any path the icon folder can give; a length beyond it is damage.
constexpr quint32 kMaxPathBytes = 4096;
constexpr qsizetype kSmallestEntry = 4 + 32 + kPixelBytes;

class Cursor {
public:
    explicit Cursor(const QByteArray& bytes) : m_bytes(bytes) {}
    qsizetype left() const { return m_bytes.size() - m_at; }
    bool take(qsizetype n, const char** out) {
        if (n < 0 || left() < n)
            return false;
        *out = m_bytes.constData() + m_at;
        m_at += n;
        return true;
    }
    template <typename T> bool number(T* out) {
        const char* at = nullptr;
        if (!take(sizeof(T), &at))
            return false;
        *out = qFromLittleEndian<T>(at);
        return true;
    }

private:
    const QByteArray& m_bytes;
    qsizetype m_at = 0;
};

template <typename T> void append(QByteArray& out, T value) {
    char bytes[sizeof(T)];
    qToLittleEndian<T>(value, bytes);
    out.append(bytes, sizeof(T));
}

QByteArray entryBytes(const QString& path, const FileIdentity& id, const QImage& picture) {
    const QByteArray name = path.toUtf8();
    QByteArray out;
    out.reserve(4 + name.size() + 32 + kPixelBytes);
    append<quint32>(out, quint32(name.size()));
    out += name;
    append<quint64>(out, id.device);
    append<quint64>(out, id.inode);
    append<qint64>(out, id.size);
    append<qint64>(out, id.modifiedNs);
    for (int y = 0; y < AppIconCache::kSide; ++y) {
        const auto* row = reinterpret_cast<const quint32*>(picture.constScanLine(y));
        for (int x = 0; x < AppIconCache::kSide; ++x)
            append<quint32>(out, row[x]);
    }
    return out;
}

QByteArray header(quint32 count) {
    QByteArray out(kMagic, kMagicBytes);
    append<quint32>(out, quint32(AppIconCache::kSide));
    append<quint32>(out, count);
    return out;
}

} // namespace

bool AppIconCache::parse(const QByteArray& bytes, QString* why) {
    m_entries.clear();
    auto fail = [&](const char* reason) {
        m_entries.clear();
        if (why)
            *why = QString::fromLatin1(reason);
        return false;
    };
    Cursor in(bytes);
    const char* magic = nullptr;
    quint32 side = 0;
    quint32 count = 0;
    if (!in.take(kMagicBytes, &magic) || QByteArray(magic, kMagicBytes) != kMagic)
        return fail("not an icon cache");
    if (!in.number(&side) || !in.number(&count))
        return fail("header cut off");
    if (side != quint32(kSide))
        return fail("pictures of another size");
    if (qsizetype(count) > in.left() / kSmallestEntry)
        return fail("more entries than bytes");
    m_entries.reserve(qsizetype(count));
    for (quint32 i = 0; i < count; ++i) {
        quint32 pathBytes = 0;
        const char* pathAt = nullptr;
        if (!in.number(&pathBytes) || pathBytes == 0 || pathBytes > kMaxPathBytes ||
            !in.take(qsizetype(pathBytes), &pathAt))
            return fail("entry path cut off or of impossible length");
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString path = utf8(QByteArrayView(pathAt, pathBytes));
        if (utf8.hasError() || path.contains(QChar(0)))
            return fail("entry path is no UTF-8 text");
        Entry entry;
        const char* pixels = nullptr;
        if (!in.number(&entry.identity.device) || !in.number(&entry.identity.inode) ||
            !in.number(&entry.identity.size) || !in.number(&entry.identity.modifiedNs) ||
            !in.take(kPixelBytes, &pixels))
            return fail("entry cut off");
        entry.picture = QImage(kSide, kSide, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < kSide; ++y) {
            auto* row = reinterpret_cast<quint32*>(entry.picture.scanLine(y));
            for (int x = 0; x < kSide; ++x)
                row[x] = qFromLittleEndian<quint32>(pixels + (qsizetype(y) * kSide + x) * 4);
        }
        m_entries.insert(path, std::move(entry));
    }
    if (in.left() != 0)
        return fail("bytes after the last entry");
    return true;
}

bool AppIconCache::load(const QString& storeFile, QString* why) {
    m_entries.clear();
    // Not through a link, which could lead out of the cache folder, and never waiting on a
    // FIFO put in the file's place.
    const int fd = ::open(QFile::encodeName(storeFile).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        if (why)
            *why =
                QStringLiteral("cannot be opened as a file of its own: ") + qt_error_string(errno);
        return false;
    }
    QFile file;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (why)
            *why = QStringLiteral("not a regular file");
        return false;
    }
    if (status.st_size > kMaxFileBytes) {
        if (why)
            *why = QStringLiteral("larger than any cache vadok writes");
        return false;
    }
    const QByteArray bytes = file.read(qint64(status.st_size) + 1);
    if (bytes.size() > kMaxFileBytes) {
        if (why)
            *why = QStringLiteral("grew beyond any cache vadok writes while read");
        return false;
    }
    return parse(bytes, why);
}

QByteArray AppIconCache::serialized() const {
    QByteArray body;
    quint32 count = 0;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        const QByteArray entry = entryBytes(it.key(), it->identity, it->picture);
        if (kMagicBytes + 8 + body.size() + entry.size() > kMaxFileBytes)
            continue;
        body += entry;
        ++count;
    }
    return header(count) + body;
}

bool AppIconCache::save(const QString& storeFile) const {
    // Another program's link or FIFO in our file's place is removed, not followed or waited
    // on: only the cache folder is ours to write into.
    struct stat status {};
    const QByteArray name = QFile::encodeName(storeFile);
    if (::lstat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode) &&
        !S_ISDIR(status.st_mode) && ::unlink(name.constData()) != 0)
        return false;
    return writeFileAtomically(storeFile, serialized(), nullptr);
}

QImage AppIconCache::lookup(const QString& path, const FileIdentity& identity) const {
    const auto found = m_entries.constFind(path);
    if (found == m_entries.cend() || !(found->identity == identity))
        return QImage();
    return found->picture;
}

void AppIconCache::put(const QString& path, const FileIdentity& identity, const QImage& picture) {
    if (picture.size() != QSize(kSide, kSide) || path.isEmpty() ||
        path.toUtf8().size() > qsizetype(kMaxPathBytes))
        return;
    m_entries.insert(path,
                     Entry{identity, picture.convertToFormat(QImage::Format_ARGB32_Premultiplied)});
}

} // namespace vadok

#include "apps/referencetexts.h"

#include "catalog/cp932codec.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace vadok {

namespace {

QString lastPart(const QString& path) {
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(slash + 1);
}

// Names that by custom carry no ending, in English, German, French, Spanish and Italian.
bool isCustomaryTextName(const QString& name) {
    static const QStringList names = {
        QStringLiteral("README"),  QStringLiteral("LIESMICH"),  QStringLiteral("LISEZMOI"),
        QStringLiteral("LEEME"),   QStringLiteral("LEGGIMI"),   QStringLiteral("COPYING"),
        QStringLiteral("LICENSE"), QStringLiteral("LICENCE"),   QStringLiteral("AUTHORS"),
        QStringLiteral("CHANGES"), QStringLiteral("CHANGELOG"), QStringLiteral("NEWS"),
        QStringLiteral("HISTORY"), QStringLiteral("THANKS"),    QStringLiteral("NOTICE"),
        QStringLiteral("CREDITS"),
    };
    return names.contains(name, Qt::CaseInsensitive);
}

struct Found {
    QString path;
    int depth;
};

// The UTF-8 text of bytes, or nothing when they are not valid UTF-8.
std::optional<QString> validUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

// Text saved as "Unicode" by Windows editors: UTF-16 behind its byte order mark, which says
// the byte order; nothing without one, since such bytes cannot be told from CP932.
std::optional<QString> utf16WithMark(const QByteArray& bytes) {
    if (bytes.size() < 2)
        return std::nullopt;
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    const auto b1 = static_cast<unsigned char>(bytes[1]);
    QStringDecoder::Encoding order;
    if (b0 == 0xFF && b1 == 0xFE)
        order = QStringDecoder::Utf16LE;
    else if (b0 == 0xFE && b1 == 0xFF)
        order = QStringDecoder::Utf16BE;
    else
        return std::nullopt;
    QStringDecoder decoder(order, QStringDecoder::Flag::Stateless);
    return decoder(QByteArrayView(bytes).sliced(2));
}

} // namespace

bool IsReferenceText(const QString& path) {
    const QString name = lastPart(path);
    return name.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive) ||
           name.endsWith(QStringLiteral(".md"), Qt::CaseInsensitive) || isCustomaryTextName(name);
}

bool IsReferencePage(const QString& path) {
    const QString name = lastPart(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot >= 0 && name.mid(dot).startsWith(QStringLiteral(".htm"), Qt::CaseInsensitive);
}

QStringList ReferenceFiles(const QString& folder) {
    QList<Found> texts;
    QList<Found> pages;
    int seen = 0;
    QStringList level{QString()};
    const QString top = folder.endsWith(u'/') ? folder : folder + u'/';
    for (int depth = 0; !level.isEmpty() && seen < kMostReferenceEntries; ++depth) {
        QStringList below;
        for (const QString& relative : level) {
            // Links are listed to be left out, not followed.
            const QFileInfoList entries =
                QDir(top + relative).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot);
            for (const QFileInfo& entry : entries) {
                if (++seen > kMostReferenceEntries)
                    break;
                if (entry.isSymLink())
                    continue;
                const QString path = relative + entry.fileName();
                if (entry.isDir())
                    below.append(path + u'/');
                else if (!entry.isFile())
                    continue;
                else if (IsReferenceText(path))
                    texts.append({path, depth});
                else if (IsReferencePage(path))
                    pages.append({path, depth});
            }
        }
        level = below;
    }
    QStringList result;
    for (QList<Found>* group : {&texts, &pages}) {
        std::sort(group->begin(), group->end(), [](const Found& a, const Found& b) {
            if (a.depth != b.depth)
                return a.depth < b.depth;
            return a.path.compare(b.path, Qt::CaseInsensitive) < 0;
        });
        for (const Found& f : *group)
            result.append(f.path);
    }
    return result;
}

QString DecodeReferenceBytes(const QByteArray& bytes) {
    if (std::optional<QString> text = utf16WithMark(bytes))
        return *text;
    if (std::optional<QString> text = validUtf8(bytes))
        return *text;
    return Cp932Codec::instance().toUnicode(bytes);
}

QString ReferenceText(const QByteArray& bytes) {
    const QString text = DecodeReferenceBytes(bytes);
    QString shown;
    int lines = 0;
    qsizetype at = 0;
    while (at < text.size()) {
        if (lines == kReferenceLineLimit)
            return shown + kReadInterrupted;
        qsizetype end = at;
        while (end < text.size() && text.at(end) != u'\r' && text.at(end) != u'\n')
            ++end;
        shown += QStringView(text).mid(at, end - at);
        shown += QStringLiteral("\r\n");
        ++lines;
        at = end;
        if (at < text.size() && text.at(at) == u'\r')
            ++at;
        if (at < text.size() && text.at(at) == u'\n')
            ++at;
    }
    return shown;
}

QString ReferencePage(const QByteArray& bytes) {
    if (std::optional<QString> text = utf16WithMark(bytes))
        return *text;
    if (std::optional<QString> text = validUtf8(bytes))
        return *text;
    QStringDecoder declared = QStringDecoder::decoderForHtml(bytes);
    if (declared.isValid() && declared.name() != QByteArrayView("UTF-8")) {
        const QString text = declared(bytes);
        if (!declared.hasError())
            return text;
    }
    return DecodeReferenceBytes(bytes);
}

} // namespace vadok

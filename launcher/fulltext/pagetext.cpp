#include "fulltext/pagetext.h"

#include <QHash>

namespace vadok {

namespace {

// A reference at text[at] ('&'): its character(s) and length, or an empty result.
QString entityAt(const QString& text, qsizetype at, qsizetype& length) {
    static const QHash<QString, QString> named = {
        {QStringLiteral("amp"), QStringLiteral("&")},   {QStringLiteral("lt"), QStringLiteral("<")},
        {QStringLiteral("gt"), QStringLiteral(">")},    {QStringLiteral("quot"), QStringLiteral("\"")},
        {QStringLiteral("apos"), QStringLiteral("'")},  {QStringLiteral("nbsp"), QStringLiteral(" ")},
        {QStringLiteral("copy"), QStringLiteral("©")}, {QStringLiteral("reg"), QStringLiteral("®")},
        {QStringLiteral("yen"), QStringLiteral("¥")},  {QStringLiteral("times"), QStringLiteral("×")},
        {QStringLiteral("hellip"), QStringLiteral("…")}, {QStringLiteral("mdash"), QStringLiteral("—")},
    };
    const qsizetype semicolon = text.indexOf(u';', at + 1);
    if (semicolon < 0 || semicolon - at > 10)
        return {};
    const QString body = text.mid(at + 1, semicolon - at - 1);
    length = semicolon - at + 1;
    if (body.startsWith(u'#')) {
        bool ok = false;
        const uint code = (body.size() > 1 && (body.at(1) == u'x' || body.at(1) == u'X'))
                              ? body.mid(2).toUInt(&ok, 16)
                              : body.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10FFFF || QChar::isSurrogate(code))
            return {};
        const char32_t c = code;
        return QString::fromUcs4(&c, 1);
    }
    return named.value(body.toLower());
}

bool isBlockTag(QStringView name) {
    static const char* const blocks[] = {"br", "p", "div", "li", "tr", "h1", "h2", "h3", "h4",
                                         "h5", "h6", "pre", "table", "ul", "ol", "dt", "dd", "hr"};
    for (const char* b : blocks)
        if (name.compare(QLatin1String(b), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

QString textOfPage(const QString& html) {
    QString out;
    out.reserve(html.size());
    qsizetype i = 0;
    const qsizetype n = html.size();
    while (i < n) {
        const QChar c = html.at(i);
        if (c == u'&') {
            qsizetype length = 0;
            const QString decoded = entityAt(html, i, length);
            if (!decoded.isEmpty()) {
                out += decoded;
                i += length;
                continue;
            }
            out += c;
            ++i;
            continue;
        }
        if (c != u'<') {
            out += c;
            ++i;
            continue;
        }
        if (html.mid(i, 4) == QLatin1String("<!--")) {
            const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
            i = end < 0 ? n : end + 3;
            continue;
        }
        const qsizetype close = html.indexOf(u'>', i + 1);
        if (close < 0) {
            // A lone "<" in running text.
            out += c;
            ++i;
            continue;
        }
        QStringView tag = QStringView(html).mid(i + 1, close - i - 1).trimmed();
        const bool closing = tag.startsWith(u'/');
        if (closing)
            tag = tag.mid(1);
        qsizetype nameEnd = 0;
        while (nameEnd < tag.size() && (tag[nameEnd].isLetterOrNumber()))
            ++nameEnd;
        const QStringView name = tag.left(nameEnd);
        i = close + 1;
        if (!closing && (name.compare(QLatin1String("script"), Qt::CaseInsensitive) == 0 ||
                         name.compare(QLatin1String("style"), Qt::CaseInsensitive) == 0)) {
            const QString end = QStringLiteral("</") + name.toString();
            const qsizetype at = html.indexOf(end, i, Qt::CaseInsensitive);
            const qsizetype after = at < 0 ? -1 : html.indexOf(u'>', at);
            i = after < 0 ? n : after + 1;
            continue;
        }
        if (isBlockTag(name))
            out += u'\n';
    }
    return out;
}

} // namespace vadok

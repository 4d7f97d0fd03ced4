#include "util/textutil.h"

#include <QFileInfo>

namespace vadok {

int FieldEndPos(const QString& text, const QString& separator, int start) {
    if (separator.isEmpty())
        return 1;
    if (start < 1)
        start = 1;
    if (start > text.size())
        return 0;
    const qsizetype at = text.indexOf(separator, start - 1);
    return at < 0 ? 0 : int(at + separator.size() + 1);
}

QString GetField(const QString& text, const QString& separator, int from, int to) {
    if (text.isEmpty() || separator.isEmpty())
        return QString();
    if (!text.contains(separator))
        return from == 1 ? text : QString();
    if (to == kOmitted)
        to = from;
    if (to < from)
        return QString();

    int pos = 1;
    for (int i = 1; i < from; ++i) {
        pos = FieldEndPos(text, separator, pos);
        if (pos == 0)
            return QString();
    }
    // A field that starts past the end (text ending in a separator) is the empty last field.
    if (pos > text.size())
        return QString();

    qsizetype end = text.size(); // exclusive, 0-based
    qsizetype searchFrom = pos - 1;
    for (int i = from; i <= to; ++i) {
        const qsizetype at = text.indexOf(separator, searchFrom);
        if (at < 0) {
            end = text.size();
            break;
        }
        end = at;
        searchFrom = at + separator.size();
    }
    return text.mid(pos - 1, end - (pos - 1));
}

int CountFields(const QString& text, const QString& separator) {
    if (separator == kCountFieldsDefault)
        return int(text.size());
    if (text.isEmpty() || separator.isEmpty())
        return 0;
    return int(text.count(separator)) + 1;
}

QString TrimTrailingBreaks(const QString& text) {
    QString s = text;
    for (;;) {
        qsizetype n = s.size();
        while (n > 0 && s.at(n - 1) == u' ')
            --n;
        s.truncate(n);
        if (!s.endsWith(QStringLiteral("\r\n")))
            return s;
        s.chop(2);
    }
}

bool IsExistingFolder(const QString& path) {
    if (path.isEmpty())
        return false;
    return QFileInfo(path).isDir();
}

} // namespace vadok

#include "catalog/valueconv.h"

#include <QLocale>

#include <cmath>

namespace vadok {

std::optional<double> textToNumber(const QString& text) {
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<bool> textToBool(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(u"True", Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(u"False", Qt::CaseInsensitive) == 0)
        return false;
    const std::optional<double> number = textToNumber(trimmed);
    if (!number)
        return std::nullopt;
    return *number != 0.0;
}

QString boolElementText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString boolAttributeText(bool value) {
    return value ? QStringLiteral("-1") : QStringLiteral("0");
}

QString fontSizeText(double points) {
    QString text = QString::number(std::round(points * 10000.0) / 10000.0, 'f', 4);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

QString dateTimeText(const QDateTime& value) {
    return value.toLocalTime().toString(QStringLiteral("yyyy/MM/dd H:mm:ss"));
}

std::optional<QDateTime> textToDateTime(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    for (const QString& format : {QStringLiteral("yyyy/M/d H:m:s"), QStringLiteral("yyyy/M/d H:m"),
                                  QStringLiteral("yyyy/M/d")}) {
        const QDateTime value = QDateTime::fromString(trimmed, format);
        if (value.isValid())
            return value;
    }
    for (Qt::DateFormat format : {Qt::ISODateWithMs, Qt::ISODate}) {
        const QDateTime value = QDateTime::fromString(trimmed, format);
        if (value.isValid())
            return value.toLocalTime();
    }
    return std::nullopt;
}

QString toStoredFolderPath(const QString& absolute, const QString& programFolder) {
    if (!programFolder.isEmpty() && absolute.startsWith(programFolder))
        return QStringLiteral("..") + absolute.mid(programFolder.size());
    return absolute;
}

QString fromStoredFolderPath(const QString& stored, const QString& programFolder) {
    QString path = stored;
    path.replace(u'\\', u'/');
    if (!path.endsWith(u'/'))
        path += u'/';
    // ".." names the program folder here, not a parent folder.
    if (path.startsWith(QStringLiteral("..")))
        path = programFolder + path.mid(2);
    return path;
}

} // namespace vadok

#include "catalog/notessearch.h"

#include "catalog/datafile.h"
#include "catalog/xmldocument.h"
#include "platform/prompter.h"

#include <QStringList>

namespace vadok {

namespace {

void reportSearchError(const QString& description) {
    showMessage(
        QStringLiteral("XML操作中にエラーが発生しました。\r\n"
                       "マイクロソフトのサイトから[MSXML6]の最新バージョンを取得してください。"
                       "\r\n\r\n") +
            description,
        MsgIcon::Exclamation);
}

} // namespace

QString SearchNotes(const QString& text) {
    XmlDocument doc;
    if (!doc.load(dataFilePath())) {
        reportSearchError(doc.errorString());
        return {};
    }
    // The text travels as a variable, never inside the expression, so quotes in it are plain
    // characters. Each Line is tested on its own: a match never spans a line break.
    bool ok = false;
    const QList<XmlElement> found =
        doc.select(QStringLiteral("/Vadok/Apps/App[Text/Line[contains(., $text)]]"), XmlElement(),
                   {{QStringLiteral("text"), text}}, &ok);
    if (!ok) {
        reportSearchError(doc.errorString());
        return {};
    }
    QStringList titles;
    for (const XmlElement& app : found)
        titles.append(app.firstChild(QStringLiteral("Name")).text());
    return titles.join(u'\t');
}

} // namespace vadok

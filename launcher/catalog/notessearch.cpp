#include "catalog/notessearch.h"

#include "catalog/datafilecache.h"
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

// Whether one of the App's notes lines holds needle. Each Line is tested on its own: a match
// never spans a line break.
bool notesHold(const XmlElement& app, const QByteArray& needle) {
    for (const XmlElement& text : app.children(QStringLiteral("Text"))) {
        for (const XmlElement& line : text.children(QStringLiteral("Line"))) {
            if (line.textContains(needle))
                return true;
        }
    }
    return false;
}

} // namespace

QString SearchNotes(const QString& text) {
    const std::shared_ptr<const XmlDocument> doc = readDataFile();
    if (!doc->isLoaded()) {
        reportSearchError(doc->errorString());
        return {};
    }
    // The applications of /Vadok/Apps/App, walked directly: the text is compared as it is,
    // quotes included, and the walk costs a fraction of an XPath query over every line.
    const QByteArray needle = text.toUtf8();
    QStringList titles;
    const XmlElement root = doc->documentElement();
    if (root.name() == u"Vadok") {
        for (const XmlElement& apps : root.children(QStringLiteral("Apps"))) {
            for (const XmlElement& app : apps.children(QStringLiteral("App"))) {
                if (notesHold(app, needle))
                    titles.append(app.firstChild(QStringLiteral("Name")).text());
            }
        }
    }
    return titles.join(u'\t');
}

} // namespace vadok

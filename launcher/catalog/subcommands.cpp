#include "catalog/subcommands.h"

#include "catalog/datafile.h"
#include "catalog/xmldocument.h"

namespace vadok {

namespace {

XmlElement findApp(XmlDocument& doc, const QString& name) {
    for (const XmlElement& app : doc.select(QStringLiteral("//App"))) {
        if (app.firstChild(QStringLiteral("Name")).text() == name)
            return app;
    }
    return {};
}

} // namespace

bool SaveSubCommands(const AppRecord& app, const QStringList& commands) {
    XmlDocument doc;
    if (!doc.load(dataFilePath())) {
        reportDataFileError(doc.errorString());
        return false;
    }
    XmlElement found = findApp(doc, app.AppName);
    if (found.isNull()) {
        reportDataFileError(
            QStringLiteral("%1 に %2 の記録がありません").arg(dataFilePath(), app.AppName));
        return false;
    }
    XmlElement subExec = found.firstChild(QStringLiteral("SubExec"));
    if (subExec.isNull())
        subExec = found.appendChild(QStringLiteral("SubExec"));
    subExec.removeChildren();
    for (const QString& command : commands)
        subExec.appendChild(QStringLiteral("Cmd")).setText(command);
    if (!doc.save(dataFilePath())) {
        reportDataFileError(doc.errorString());
        return false;
    }
    return true;
}

QStringList& ReadSubCommands(const QString& title, QStringList& list) {
    XmlDocument doc;
    doc.load(dataFilePath());
    const XmlElement found = findApp(doc, title);
    for (const XmlElement& command : found.firstChild(QStringLiteral("SubExec")).children()) {
        const QString text = command.text();
        if (!text.isEmpty())
            list.append(text);
    }
    return list;
}

} // namespace vadok

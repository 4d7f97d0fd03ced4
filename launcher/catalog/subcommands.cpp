#include "catalog/subcommands.h"

#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/datafilecache.h"
#include "catalog/xmldocument.h"

namespace vadok {

bool SaveSubCommands(const AppRecord& app, const QStringList& commands) {
    DataFileEdit edit;
    if (!edit.isLoaded()) {
        reportDataFileError(edit.errorString());
        return false;
    }
    XmlElement found = findAppElement(edit.doc(), app.AppName);
    if (found.isNull()) {
        edit.keepUnchanged();
        reportDataFileError(
            QStringLiteral("%1 に %2 の記録がありません").arg(dataFilePath(), app.AppName));
        return false;
    }
    XmlElement subExec = found.firstChild(QStringLiteral("SubExec"));
    if (commands.isEmpty()) {
        if (subExec.isNull()) {
            edit.keepUnchanged();
            return true;
        }
        subExec.remove();
    } else {
        if (subExec.isNull())
            subExec = found.appendChild(QStringLiteral("SubExec"));
        subExec.removeChildren();
        for (const QString& command : commands)
            subExec.appendChild(QStringLiteral("Cmd")).setText(command);
    }
    if (!edit.save()) {
        reportDataFileError(edit.errorString());
        return false;
    }
    return true;
}

QStringList& ReadSubCommands(const QString& title, QStringList& list) {
    const XmlElement found = findAppElement(*readDataFile(), title);
    for (const XmlElement& command : found.firstChild(QStringLiteral("SubExec")).children()) {
        const QString text = command.text();
        if (!text.isEmpty())
            list.append(text);
    }
    return list;
}

} // namespace vadok

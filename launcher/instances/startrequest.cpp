#include "instances/startrequest.h"

#include "catalog/appnamerules.h"
#include "instances/commandline.h"
#include "util/textutil.h"

#include <QDir>
#include <QFileInfo>

namespace vadok {

StartRequest ReadStartRequest(const QString& commandLine) {
    StartRequest request;
    const QStringList arguments = SplitCommandLine(commandLine);
    const QString first = arguments.value(0);
    if (first.isEmpty())
        return request;
    if (QDir::isAbsolutePath(first) && (QFileInfo(first).isFile() || IsExistingFolder(first))) {
        request.kind = StartRequest::Kind::Register;
        request.path = first;
        return request;
    }
    if (!nameRefusal(first).isEmpty()) {
        request.kind = StartRequest::Kind::Unreadable;
        return request;
    }
    request.kind = StartRequest::Kind::Run;
    request.title = first;
    request.arguments = arguments.mid(1);
    return request;
}

QString QuotedParameters(const QStringList& arguments) {
    QString parameters;
    for (QString argument : arguments)
        parameters += u'"' + argument.replace(QStringLiteral("\""), QStringLiteral("\"\"\"")) +
                      QStringLiteral("\" ");
    return parameters;
}

QString NotRegisteredText(const QString& title) {
    return QStringLiteral("「") + title + QStringLiteral("」は登録されていません。");
}

} // namespace vadok

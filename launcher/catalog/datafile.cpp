#include "catalog/datafile.h"

#include "catalog/atomicfile.h"
#include "catalog/cp932codec.h"
#include "catalog/datafilecache.h"
#include "catalog/xmldocument.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"

#include <QFile>

namespace vadok {

QString dataFilePath() {
    return withTrailingSlash(programFolder()) + QStringLiteral("vadok.xml");
}

QByteArray dataFileTemplate() {
    static const char16_t* const lines[] = {
        u"<?xml version=\"1.0\" encoding=\"Shift_JIS\" ?>",
        u"<Vadok dataversion=\"4\">",
        u"  <Folders>",
        u"    <Folder Name=\"メイン\" Parent=\"ROOT\" />",
        u"  </Folders>",
        u" <Apps>",
        u" </Apps>",
        u"</Vadok>",
    };
    QString text;
    for (const char16_t* line : lines)
        text += QString::fromUtf16(line) + QStringLiteral("\r\n");
    return Cp932Codec::instance().fromUnicode(text);
}

bool CreateDataFileFromTemplate(QString* error) {
    if (!Cp932Codec::instance().isAvailable()) {
        if (error)
            *error = QStringLiteral("文字コード CP932 を扱えません（iconv）");
        return false;
    }
    forgetCachedDataFile();
    return writeFileAtomically(dataFilePath(), dataFileTemplate(), error);
}

QString DataVersion() {
    const XmlElement root = readDataFile()->documentElement();
    if (root.isNull() || !root.hasAttribute(QStringLiteral("dataversion")))
        return QStringLiteral("0");
    return root.attribute(QStringLiteral("dataversion"));
}

bool MigrateToVersion4() {
    DataFileEdit edit;
    if (!edit.isLoaded()) {
        reportDataFileError(edit.errorString());
        return false;
    }
    XmlDocument& doc = edit.doc();
    XmlElement root = doc.documentElement();
    root.setAttribute(QStringLiteral("dataversion"), QStringLiteral("4"));

    XmlElement folders = root.firstChild(QStringLiteral("Folders"));
    if (folders.isNull())
        folders = root.appendChild(QStringLiteral("Folders"));
    XmlElement rootFolder = folders.appendChild(QStringLiteral("Folder"));
    rootFolder.setAttribute(QStringLiteral("Name"), QStringLiteral("ROOT"));
    rootFolder.setAttribute(QStringLiteral("Parent"), QString());
    rootFolder.setAttribute(QStringLiteral("Order"), QStringLiteral("0"));

    const QList<XmlElement> allFolders = doc.select(QStringLiteral("//Folder"));
    for (const XmlElement& app : doc.select(QStringLiteral("//App"))) {
        const QString folderName = app.firstChild(QStringLiteral("Fol")).text();
        const QString appName = app.firstChild(QStringLiteral("Name")).text();
        for (XmlElement folder : allFolders) {
            if (folder.attribute(QStringLiteral("Name")) == folderName) {
                folder.appendChild(QStringLiteral("AppItem")).setText(appName);
                break;
            }
        }
    }
    if (!edit.save()) {
        reportDataFileError(edit.errorString());
        return false;
    }
    return true;
}

void PrepareDataFile() {
    if (DataVersion() == QStringLiteral("3"))
        MigrateToVersion4();
    const QString path = dataFilePath();
    if (!QFile::exists(path)) {
        QString error;
        if (!CreateDataFileFromTemplate(&error)) {
            showMessage(QStringLiteral("BDF\r\n") + error);
            return;
        }
    }
    const QString snapshot = path + QStringLiteral(".now");
    QFile::remove(snapshot);
    QFile::copy(path, snapshot);
}

void reportDataFileError(const QString& description) {
    showMessage(description, MsgIcon::Exclamation);
}

} // namespace vadok

#include "catalog/folderrecords.h"

#include "catalog/datafile.h"
#include "catalog/datafilecache.h"
#include "catalog/xmldocument.h"

namespace vadok {

namespace {

const QString kName = QStringLiteral("Name");
const QString kParent = QStringLiteral("Parent");

// The Folders element of a loaded file, or null after reporting why it cannot be had.
XmlElement loadFolders(DataFileEdit& edit) {
    if (!edit.isLoaded()) {
        reportDataFileError(edit.errorString());
        return {};
    }
    XmlElement folders = edit.doc().selectFirst(QStringLiteral("/Vadok/Folders"));
    if (folders.isNull())
        reportDataFileError(QStringLiteral("%1 に Folders 要素がありません").arg(dataFilePath()));
    return folders;
}

bool save(DataFileEdit& edit) {
    if (edit.save())
        return true;
    reportDataFileError(edit.errorString());
    return false;
}

} // namespace

bool FolderExists(const QString& name) {
    for (const XmlElement& folder : readDataFile()->select(QStringLiteral("//Folder"))) {
        if (folder.hasAttribute(kName) && folder.attribute(kName) == name)
            return true;
    }
    return false;
}

bool RenameFolder(const QString& oldName, const QString& newParent, const QString& newName) {
    DataFileEdit edit;
    XmlElement folders = loadFolders(edit);
    if (folders.isNull())
        return false;
    const QList<XmlElement> all = folders.children(QStringLiteral("Folder"));
    for (XmlElement folder : all) {
        if (folder.attribute(kName) != oldName)
            continue;
        if (!newName.isEmpty())
            folder.setAttribute(kName, newName);
        if (!newParent.isEmpty() && folder.attribute(kParent) != newParent)
            folder.setAttribute(kParent, newParent);
    }
    if (!newName.isEmpty()) {
        for (XmlElement folder : all) {
            if (folder.attribute(kParent) == oldName)
                folder.setAttribute(kParent, newName);
        }
        for (const XmlElement& app : edit.doc().select(QStringLiteral("/Vadok/Apps/App"))) {
            XmlElement fol = app.firstChild(QStringLiteral("Fol"));
            if (!fol.isNull() && fol.text() == oldName)
                fol.setText(newName);
        }
    }
    return save(edit);
}

bool AddFolder(const QString& name, const QString& parent) {
    DataFileEdit edit;
    XmlElement folders = loadFolders(edit);
    if (folders.isNull())
        return false;
    for (const XmlElement& folder : folders.children(QStringLiteral("Folder"))) {
        if (folder.hasAttribute(kName) && folder.attribute(kName) == name) {
            edit.keepUnchanged();
            return false;
        }
    }
    XmlElement folder = folders.appendChild(QStringLiteral("Folder"));
    folder.setAttribute(kName, name);
    folder.setAttribute(kParent, parent);
    folder.setAttribute(QStringLiteral("Order"), QStringLiteral("99"));
    return save(edit);
}

} // namespace vadok

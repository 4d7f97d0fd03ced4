// The application's icon in the editor. It is taken from the icon source file: the icons a
// Windows program or library or an icon file holds (a program's through glimtake), else the
// desktop's icon for the file's type; or it is picked from all the icons of a file. The
// preview shows it, and it waits as "_temp.ico" in the program folder until the edit is
// applied.
#include "dialogs/frmedit.h"

#include "platform/filekind.h"
#include "platform/prompter.h"
#include "resources/builtinimages.h"
#include "shell/dlgiconget.h"
#include "shell/fileicons.h"
#include "shell/filetypeicon.h"
#include "shell/iconpicture.h"
#include "shell/runiconextractor.h"
#include "util/shortcut.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>

namespace vadok {

namespace {

constexpr int kSide = 32;

void warnIconNotLoaded() {
    showMessage(QStringLiteral("アイコンをロードできませんでした"), MsgIcon::Exclamation);
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void frmEdit::clearPreview() { m_icon->setPixmap(builtinImage(QStringLiteral("white32"))); }

void frmEdit::showPreview(const QImage& picture) {
    QPixmap preview = builtinImage(QStringLiteral("white32"));
    QPainter painter(&preview);
    painter.drawImage(QRect(0, 0, kSide, kSide), picture);
    painter.end();
    m_icon->setPixmap(preview);
}

void frmEdit::savePreview(const QByteArray& icoFile, const QImage& picture) {
    const QString waiting = temporaryIconPath();
    QFile::remove(waiting);
    // The icon file keeps every size the source had; a picture becomes an icon of its size.
    if (icoFile.isEmpty())
        writePictureAsIconFile(waiting, picture);
    else
        writeIconFile(waiting, icoFile);
    m_iconChanged = true;
}

void frmEdit::txtIconPath_Change() {
    // The icon an earlier text gave must not be applied while the preview shows another, or
    // none: a text typed past a valid path would otherwise keep its icon waiting.
    QFile::remove(temporaryIconPath());
    m_iconChanged = false;
    clearPreview();
    const QString path = m_iconPath->text();
    if (!QFileInfo(path).isFile())
        return;

    if (!path.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive)) {
        const FileIcons icons(path);
        const QImage picture = icons.count() > 0
                                   ? icons.picture(0, kSide)
                                   : fileTypeIcon(path).pixmap(kSide, kSide).toImage();
        if (picture.isNull()) {
            warnIconNotLoaded();
            return;
        }
        showPreview(picture);
        savePreview(icons.icoFile(0), picture);
        return;
    }

    RunIconExtractor(path);
    const QString waiting = temporaryIconPath();
    if (isNormalFile(waiting)) {
        const QImage picture = iconPicture(contentsOf(waiting), kSide);
        if (picture.isNull()) {
            // Not an icon after all: it must not become the application's.
            QFile::remove(waiting);
            warnIconNotLoaded();
            return;
        }
        showPreview(picture);
        m_iconChanged = true;
        return;
    }
    const FileIcons icons(path);
    if (!icons.isIconContainer()) {
        showMessage(QStringLiteral("ファイルが、EXEもしくはDLLではありません"));
        return;
    }
    if (icons.count() == 0) {
        showMessage(QStringLiteral("アイコンが存在しません"));
        return;
    }
    const QImage picture = icons.picture(0, kSide);
    if (picture.isNull()) {
        warnIconNotLoaded();
        return;
    }
    showPreview(picture);
    savePreview(icons.icoFile(0), picture);
}

QString frmEdit::pickerStartFile() const {
    if (m_shortCutEntry)
        return ResolveShortcut(m_command);
    return basePath() + m_command;
}

void frmEdit::cmdIconPath_Click() {
    bool number = false;
    m_iconIndex->text().toInt(&number);
    if (!number)
        m_iconIndex->setText(QStringLiteral("0"));

    dlgIconGet picker(this);
    picker.setFileName(m_iconPath->text().isEmpty() ? pickerStartFile() : m_iconPath->text());
    picker.setIconIndex(m_iconIndex->text().toInt());
    picker.ShowOpen();
    // A cancelled picker leaves the icon as it was.
    if (picker.result() != QDialog::Accepted)
        return;

    const QString file = picker.FileName();
    const int index = picker.IconIndex();
    {
        // The chosen icon replaces whatever the source file alone would give.
        const QSignalBlocker quiet(m_iconPath);
        m_iconPath->setText(file);
    }
    m_iconIndex->setText(QString::number(index));
    clearPreview();
    const FileIcons icons(file);
    const QImage picture = icons.picture(index, kSide);
    if (picture.isNull()) {
        warnIconNotLoaded();
        return;
    }
    showPreview(picture);
    savePreview(icons.icoFile(index), picture);
}

} // namespace vadok

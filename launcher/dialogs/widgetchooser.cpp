#include "dialogs/widgetchooser.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>

namespace vadok {

std::optional<QString> WidgetChooser::chooseFolder(const QString& prompt,
                                                   const QString& startFolder) {
    const QString folder = QFileDialog::getExistingDirectory(m_owner, prompt, startFolder);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

std::optional<QString> WidgetChooser::chooseFile(const FileRequest& request) {
    QFileDialog dialog(m_owner, request.title, request.startFolder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!request.filters.isEmpty())
        dialog.setNameFilters(request.filters);
    if (!request.initialName.isEmpty())
        dialog.selectFile(request.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QColor> WidgetChooser::chooseColor(const QColor& initial) {
    const QColor chosen = QColorDialog::getColor(initial, m_owner);
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

std::optional<QFont> WidgetChooser::chooseFont(const QFont& initial) {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, m_owner, QString(),
                                              QFontDialog::ScalableFonts | QFontDialog::NonScalableFonts);
    if (!ok)
        return std::nullopt;
    return chosen;
}

} // namespace vadok

#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <optional>

namespace vadok {

// The desktop's choosers for folders, files, colours and fonts. Commands ask through here, so
// the GUI shows real dialogs while tests answer from a script. Every choice returns nullopt
// when the user cancels.
class Chooser {
public:
    virtual ~Chooser() = default;

    // A folder of the file system; prompt is the text shown above the folders.
    virtual std::optional<QString> chooseFolder(const QString& prompt,
                                                const QString& startFolder = QString()) = 0;

    // An existing file to open. initialName pre-fills the name box; filters are the file
    // types offered, each as "説明 (*.ext *.ext2)", the first one selected; none offers all.
    struct FileRequest {
        QString title;
        QString initialName;
        QStringList filters;
        QString startFolder;
    };
    virtual std::optional<QString> chooseFile(const FileRequest& request) = 0;

    virtual std::optional<QColor> chooseColor(const QColor& initial) = 0;

    // Only fonts the screen has; the dialog starts at initial (family, size, bold, italic).
    virtual std::optional<QFont> chooseFont(const QFont& initial) = 0;
};

// The chooser in force; one that cancels everything until a real one is set.
Chooser& chooser();
void setChooser(Chooser* chooser);

} // namespace vadok

#pragma once

#include <QString>
#include <QStringList>

namespace vadok {

class PackApp;

// What the user left in the property editor.
struct EditorFields {
    QString name;  // trimmed
    QString info;  // notes, lines separated by CR LF
    QString execCmd;
    QString folder; // the chosen catalog folder's name; "ROOT" for the top level
    bool nonPack = false;
    QStringList subCommands; // the five alternative-command boxes in order, empty ones included
    // The user chose an icon, which waits as "_temp.ico" in the program folder.
    bool iconChanged = false;
};

// The property editor as the edit transaction sees it. The dialog on the screen (frmEdit)
// implements it; the transaction itself is PackApp::ShowConfig.
class AppEditor {
public:
    virtual ~AppEditor() = default;

    // Fills the dialog with app: name, notes, command with the programs found in its folder,
    // catalog folder, marks, icon and alternative commands.
    virtual void fill(const PackApp& app, const QStringList& subCommands) = 0;
    // Shows the dialog with this caption, modally, until the user leaves it. The caption it
    // then carries tells what the user decided: "OK", "DELETE", or anything else to cancel.
    virtual QString showModal(const QString& caption) = 0;
    virtual EditorFields fields() const = 0;
    // Selects the whole name, so that the user can type another one at once.
    virtual void selectWholeName() = 0;
    // The transaction is over: the caption becomes "Close" and the dialog goes away.
    virtual void close() = 0;
};

} // namespace vadok

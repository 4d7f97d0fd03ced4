#pragma once

#include "apps/appeditor.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QGridLayout;
class QComboBox;
class QGroupBox;
class QImage;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vadok {

class ReferencePageView;

// The property editor of one application. PackApp::ShowConfig drives it: fills it, shows it
// modally as often as a refused name needs, and reads back what the user decided from its
// caption ("OK", "DELETE", anything else: cancel). Leaving it in any way only hides it.
//
// Beside the fields it opens one of two side panels: the texts and pages that came with the
// application (frmedit_panels.cpp), and up to five further commands. The icon is chosen from
// a file and waits as "_temp.ico" in the program folder until the edit is applied
// (frmedit_icon.cpp).
class frmEdit : public QDialog, public AppEditor {
    Q_OBJECT
public:
    // folders: the entries of the folder list, "ROOT" first (shown as the tree shows the root,
    // "Vadok"), each folder's name indented by one ideographic space per level.
    explicit frmEdit(const QStringList& folders, QWidget* parent = nullptr);

    void fill(const PackApp& app, const QStringList& subCommands) override;
    QString showModal(const QString& caption) override;
    EditorFields fields() const override;
    void selectWholeName() override;
    void close() override;

    // The name the application had when the editor opened.
    QString PreAppName() const { return m_preAppName; }
    // The base folder of a shortcut entry; empty for stored applications.
    QString OverRideBasePath() const { return m_overRideBasePath; }
    // Lists the programs of the application's expanded folder in txtExecCmd, likely ones first.
    void ExeScan();
    // The folder the application's files are chosen from: OverRideBasePath for a shortcut
    // entry, else its expanded folder; ends in "/".
    QString basePath() const;
    // Whether an icon was chosen since the editor opened.
    bool iconChanged() const { return m_iconChanged; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void cmdOK_Click();
    void cmdRemove_Click();

private:
    enum class Panel { None, Texts, Commands };

    void createControls(const QStringList& folders);
    // Each adds its rows to the grid of the main panel from row on, and moves row past them.
    void createFieldRows(QGridLayout* grid, int& row, const QStringList& folders);
    void createIconRow(QGridLayout* grid, int& row);
    void createCommandRows(QGridLayout* grid, int& row);
    void createTextPanel();
    void createCommandPanel();
    void cleanNotes();
    // Fills the lists that depend on the application's folder, once the editor runs.
    void fillLists();
    void copyProgramListToSubCommands();

    // Side panels and reference texts (frmedit_panels.cpp).
    void cmdTxtRef_Click();
    void cmdOtherExec_Click();
    void openPanel(Panel panel);
    void fillReferenceList();
    void cboTxtFile_Click(int index);
    // F1: the selection of the shown reference becomes the name; F2: it is added to the notes.
    void takeSelection(int key);
    void cmdFolOpen_Click();
    // Lets the user pick a file below basePath() for box; the main command also takes the
    // file as icon source.
    void chooseProgram(QComboBox* box);
    void txtExecCmd_Click(int index);

    // The icon (frmedit_icon.cpp).
    void txtIconPath_Change();
    void cmdIconPath_Click();
    void clearPreview();
    void showPreview(const QImage& picture);
    // Keeps the preview's icon as "_temp.ico": the icon file itself when one is at hand,
    // else the picture.
    void savePreview(const QByteArray& icoFile, const QImage& picture);
    // The file the icon picker opens with when no icon source has been chosen.
    QString pickerStartFile() const;

    QLineEdit* m_name = nullptr;
    QPlainTextEdit* m_info = nullptr;
    QComboBox* m_execCmd = nullptr;
    QComboBox* m_appDir = nullptr;
    QLabel* m_icon = nullptr;
    QLineEdit* m_iconPath = nullptr;
    QLabel* m_iconIndex = nullptr;
    QCheckBox* m_nonPack = nullptr;
    QCheckBox* m_shortCut = nullptr;
    QPushButton* m_textsButton = nullptr;
    QPushButton* m_commandsButton = nullptr;
    QComboBox* m_subExecCmd[5] = {};
    QWidget* m_subPanel = nullptr;
    QGroupBox* m_textPanel = nullptr;
    QComboBox* m_txtFile = nullptr;
    QPlainTextEdit* m_fromFile = nullptr;
    ReferencePageView* m_page = nullptr;

    QString m_preAppName;
    QString m_overRideBasePath;
    bool m_shortCutEntry = false;
    QString m_command; // the command the editor opened with
    bool m_iconChanged = false;
};

} // namespace vadok

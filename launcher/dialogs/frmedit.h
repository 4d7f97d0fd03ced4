#pragma once

#include "apps/appeditor.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vadok {

// The property editor of one application. PackApp::ShowConfig drives it: fills it, shows it
// modally as often as a refused name needs, and reads back what the user decided from its
// caption ("OK", "DELETE", anything else: cancel). Leaving it in any way only hides it.
//
// The reference-text panel, the alternative-command panel and the choice of program and
// icon files have their controls here but are not part of this editor yet: their buttons
// stay disabled and their panels closed.
class frmEdit : public QDialog, public AppEditor {
    Q_OBJECT
public:
    // folders: the entries of the folder list, "ROOT" first, each folder's name indented by
    // one ideographic space per level.
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
    // Lists the programs at the top of the application's expanded folder in txtExecCmd.
    void ExeScan();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void cmdOK_Click();
    void cmdRemove_Click();

private:
    void createControls(const QStringList& folders);
    void cleanNotes();
    void copyProgramListToSubCommands();

    QLineEdit* m_name = nullptr;
    QPlainTextEdit* m_info = nullptr;
    QComboBox* m_execCmd = nullptr;
    QComboBox* m_appDir = nullptr;
    QLabel* m_icon = nullptr;
    QCheckBox* m_nonPack = nullptr;
    QCheckBox* m_shortCut = nullptr;
    QComboBox* m_subExecCmd[5] = {};
    QWidget* m_subPanel = nullptr;
    QGroupBox* m_textPanel = nullptr;

    QString m_preAppName;
    QString m_overRideBasePath;
};

} // namespace vadok

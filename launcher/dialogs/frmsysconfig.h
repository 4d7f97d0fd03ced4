#pragma once

#include "catalog/settings.h"

#include <QDialog>
#include <QHash>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace vadok {

// The settings dialog: storing period, window behaviour and working folders ("全般"),
// colours, fonts and what the narrow display hides ("表示"), and the keys that change what
// run, store and search do ("キー"). Save copies the controls into settings() (moving working
// folders whose path changed) and closes; Cancel and the frame's close box change nothing.
// The data file is not written here: the caller saves the settings.
class frmSysConfig : public QDialog {
    Q_OBJECT
public:
    explicit frmSysConfig(QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void cmdSave_Click();
    void cmdStartup_Click();
    void optIntoTaskTray_Click(int index);
    void cmdIconPath_Click(int index);
    void picSelColor_Click(int index);
    void lblFont_Click(int index);
    void UpDown1_Change(int value);
    void txtDate_Change(const QString& text);

private:
    QWidget* createGeneralTab();
    QWidget* createDisplayTab();
    QWidget* createKeyTab();
    void setHelpTexts();
    void setFocusHelp();
    void setMouseHelp();
    void showHelp(const QString& text);
    void showColor(int index);
    void showFont(int index);
    // False when the save must stop here, the dialog staying open.
    bool saveFolder(QLineEdit* box, QString& folder, const QString& what);

    QLineEdit* m_txtDate = nullptr;
    QScrollBar* m_upDown = nullptr;
    QCheckBox* m_keepPos = nullptr;
    QCheckBox* m_unlhaDialog = nullptr;
    QButtonGroup* m_trayOptions = nullptr;
    QPushButton* m_startup = nullptr;
    QLineEdit* m_packPath = nullptr;
    QLineEdit* m_execPath = nullptr;
    QLineEdit* m_iconPath = nullptr;
    QLabel* m_colorBoxes[5] = {};
    QLabel* m_fontLabels[2] = {};
    QCheckBox* m_unDispInfo = nullptr;
    QCheckBox* m_unDispStatus = nullptr;
    QCheckBox* m_unDispMenu = nullptr;
    QCheckBox* m_searchAlways = nullptr;
    QComboBox* m_appCallEnd = nullptr;
    QComboBox* m_packKey = nullptr;
    QComboBox* m_findKey = nullptr;
    QWidget* m_helpArea = nullptr;
    QLabel* m_help = nullptr;

    // What the boxes and labels stand for: a system colour stays one until the user picks.
    qint32 m_colors[5] = {};
    FontRecord m_fonts[2];
    // The help text of each control that has one, shown on focus or under the mouse.
    QHash<QObject*, QString> m_focusHelp;
    QHash<QObject*, QString> m_mouseHelp;
};

} // namespace vadok

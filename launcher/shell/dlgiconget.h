#pragma once

#include <QDialog>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace vadok {

class FileIcons;
class IconStrip;

// The icon picker: every icon of one file (a program, a library, an icon file) in a strip that
// scrolls sideways, from which the user chooses one. The caller sets FileName and IconIndex,
// calls ShowOpen and reads both back: the choice after OK, what it passed in after Cancel.
class dlgIconGet : public QDialog {
    Q_OBJECT
public:
    explicit dlgIconGet(QWidget* parent = nullptr);
    ~dlgIconGet() override;

    QString FileName() const { return m_fileName; }
    void setFileName(const QString& fileName) { m_fileName = fileName; }
    // Zero-based; negative while nothing is chosen.
    int IconIndex() const { return m_iconIndex; }
    void setIconIndex(int index) { m_iconIndex = index; }
    // The icons of FileName, once it is loaded.
    int IconCount() const { return m_iconCount; }

    // Shows the picker modally and returns once it has closed.
    void ShowOpen();

    // Cancel, the Escape key and the window's close button all keep what the caller passed.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();
    void LoadIconStrip(const QString& file, int index);
    void SelectIcon(int index);
    void cmdFile_Click();
    void cmdOK_Click();
    void hscIcon_Change(int value);

    QLabel* m_lblFileName = nullptr;
    QLineEdit* m_txtFileName = nullptr;
    QPushButton* m_cmdFile = nullptr;
    QLabel* m_lblIcons = nullptr;
    QWidget* m_picContainer = nullptr;
    IconStrip* m_picIcon = nullptr;
    QScrollBar* m_hscIcon = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;

    std::shared_ptr<const FileIcons> m_icons;
    QString m_fileName;
    int m_iconIndex = 0;
    int m_iconCount = 0;
    QString m_originalFileName;
    int m_originalIconIndex = 0;
    bool m_loaded = false;
};

} // namespace vadok

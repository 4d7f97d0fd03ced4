#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vadok {

// The application picker: a copy of the main window's catalog tree from which the user picks
// one stored application. After the modal show the caption holds the result: the chosen
// application's name, or "Cancel". The dialog only hides itself, so the caption stays
// readable until the caller destroys it. exec() returns Accepted only for a choice, which
// tells an application named "Cancel" from a cancelled picker.
class frmTreePop : public QDialog {
    Q_OBJECT
public:
    explicit frmTreePop(QWidget* parent = nullptr);

    // Cancel, the Escape key and the window's close button all leave the caption "Cancel".
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();
    void cmdOK_Click();

    QTreeWidget* m_treeView = nullptr;
    QLabel* m_lblInfo = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    bool m_loaded = false;
};

} // namespace vadok

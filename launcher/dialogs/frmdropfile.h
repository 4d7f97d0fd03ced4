#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace vadok {

class RegistrationTarget;

// The dialog for one dropped file or folder (or one named on the command line): it tells
// what the item is and registers it as a new stored application or as a shortcut entry,
// through the main window's registration commands. Updating an existing application from
// the item is not part of it yet: that button stays disabled.
class frmDropFile : public QDialog {
    Q_OBJECT
public:
    explicit frmDropFile(RegistrationTarget& target, QWidget* parent = nullptr);

    // The dropped path, set before the dialog is shown.
    void setTag(const QString& path) { m_tag = path; }
    QString tag() const { return m_tag; }

    // Registers the item as a shortcut entry. The main window's command for a new shortcut
    // runs it without showing the dialog.
    void cmdLink_Click();

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void cmdNew_Click();

private:
    void Form_Activate();
    void offerShortcutOnly();
    // The title for an application named after the dropped file; empty (after saying why)
    // when there is none.
    QString titleFrom(const QString& name);
    void registerLzh();
    void registerZip();
    // Opens the editor for the new application whose archive is in place, and offers to
    // delete the dropped archive once the application is saved.
    void finishRegistration(const QString& title);
    void hideForWork();

    RegistrationTarget& m_target;
    QString m_tag;
    QLabel* m_fileName = nullptr;
    QLabel* m_label = nullptr;
    QPushButton* m_new = nullptr;
    QPushButton* m_verUp = nullptr;
    QPushButton* m_link = nullptr;
};

} // namespace vadok

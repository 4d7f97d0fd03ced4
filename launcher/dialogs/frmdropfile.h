#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace vadok {

class RegistrationTarget;

// The dialog for one dropped file or folder (or one named on the command line): it tells
// what the item is and registers it as a new stored application or as a shortcut entry,
// through the main window's registration commands, or brings an application that is
// already stored up to the version the item holds (frmdropfile_versionup.cpp).
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
    void cmdVerUp_Click();

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
    // offerDeletion: ask whether to delete the dropped item once the application is saved.
    void finishRegistration(const QString& title, bool offerDeletion = true);
    void hideForWork();
    // Puts the dropped item's content into the empty work folder; false (after saying why)
    // when it could not.
    bool putNewVersionInWorkFolder();
    // Disables new registration and version-up while a version-up runs.
    void offerCancelOnly();
    // Enables them again, with label saying how the last attempt ended.
    void offerChoicesAgain(const QString& label);
    // Whether the catalog holds (or may hold, while it is read) an application to update.
    bool versionUpPossible() const;

    RegistrationTarget& m_target;
    QString m_tag;
    QLabel* m_fileName = nullptr;
    QLabel* m_label = nullptr;
    QPushButton* m_new = nullptr;
    QPushButton* m_verUp = nullptr;
    QPushButton* m_link = nullptr;
};

} // namespace vadok

#pragma once

#include "apps/packapp.h"
#include "dialogs/registrationtarget.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <vector>

class QUrl;
class QWidget;

namespace vadok {

class CatalogTree;
class CommandGate;

// Registering applications and editing their entries: the two new-application commands,
// files and folders dropped on the window or handed over by a second start, and the property
// editor. The dropped-item dialog is handed this, not the window.
class Registration : public QObject, public RegistrationTarget {
    Q_OBJECT
public:
    // What registering asks of the window beyond its tree and applications.
    struct Hooks {
        // The catalog is still being read: no application can be chosen yet.
        std::function<bool()> loading;
        // Rebuilds the tree and the applications from the data file.
        std::function<void()> reloadTree;
        // The dropped-item dialog has closed: what it registered or updated is to be indexed.
        std::function<void()> dropHandled;
    };

    // Dropped items wait for the command running in commands; dialogs open over window.
    Registration(QWidget& window, CatalogTree& tree, std::vector<PackApp>& apps,
                 CommandGate& commands, Hooks hooks);

    QString claimTitle(const QString& title) override;
    void NewApp(const QString& folder, const QString& title) override;
    EditOutcome NewAppCore(const QString& title) override;
    bool NewAppShortCut(const QString& title, const QString& command,
                        const QString& baseFolder) override;
    bool catalogLoading() const override;
    bool holdsApplications() const override;
    EditOutcome EditUpdatedApp(PackApp& app) override;

    // Opens the property editor for app.
    EditOutcome editApp(PackApp& app);
    // Rebuilds the tree after an edit with the folders that were open still open, and the
    // application called name (when it is still there) selected, its folder open and in view.
    void reloadTreeShowing(const QString& name);
    // The dropped-item dialog for path.
    void showDropDialog(const QString& path);
    // From now on files and folders dropped on the window, or on the tree, are taken.
    void installDropTargets();

public slots:
    void mnuNew_Click();
    void mnuNewShortCut_Click();

private:
    // The editor's folder list: "ROOT", then every folder of the tree depth first, indented
    // by one ideographic space per level.
    QStringList editorFolderList() const;
    // One dropped file or folder opens the dropped-item dialog; more are refused.
    void Form_OLEDragDrop(const QList<QUrl>& items);
    // Whether a new application called title would take something from an existing one:
    // its tree node, or the record and files of one the tree does not show.
    bool titleInUse(const QString& title);

    QWidget& m_window;
    CatalogTree& m_tree;
    // 1-based, as the window holds it.
    std::vector<PackApp>& m_apps;
    CommandGate& m_commands;
    Hooks m_hooks;
};

} // namespace vadok

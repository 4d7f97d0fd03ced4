// Registering new applications: from a folder (compressed into the pack folder and copied
// into the execution folder), from a program or shortcut that stays where it is, and the
// choice of a title that takes nothing from an existing application; the property editor
// for new, updated and existing applications, and the tree shown again after it.
#include "mainwindow/registration.h"

#include "catalog/appnamerules.h"
#include "apps/madebyvadok.h"
#include "apps/registration.h"
#include "catalog/apprecords.h"
#include "catalog/settings.h"
#include "dialogs/frmdropfile.h"
#include "dialogs/frmedit.h"
#include "mainwindow/catalogtree.h"
#include "platform/chooser.h"
#include "platform/clock.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "util/conflictcopies.h"
#include "util/folderutil.h"
#include "util/statustext.h"
#include "util/textutil.h"

#include <QDir>
#include <QFileInfo>
#include <QTreeWidgetItemIterator>

namespace vadok {

namespace {

const QString kRoot = QStringLiteral("ROOT");

void addFolderEntries(const QTreeWidgetItem* node, int depth, QStringList& entries) {
    for (int i = 0; i < node->childCount(); ++i) {
        const QTreeWidgetItem* child = node->child(i);
        if (!CatalogTree::tag(child).isEmpty())
            continue;
        entries.append(QString(depth, QChar(0x3000)) + child->text(0));
        addFolderEntries(child, depth + 1, entries);
    }
}

} // namespace

Registration::Registration(QWidget& window, CatalogTree& tree, std::vector<PackApp>& apps,
                           CommandGate& commands, Hooks hooks)
    : QObject(&window), m_window(window), m_tree(tree), m_apps(apps), m_commands(commands),
      m_hooks(std::move(hooks)) {}

void Registration::mnuNew_Click() {
    const std::optional<QString> folder =
        chooser().chooseFolder(QStringLiteral("フォルダを選択してください。"));
    if (!folder) {
        SetStatusText(QStringLiteral("キャンセルされました"), 1);
        return;
    }
    if (!QDir::isAbsolutePath(*folder)) {
        showMessage(QStringLiteral("無効なフォルダです"), MsgIcon::Exclamation);
        return;
    }
    NewApp(*folder, QFileInfo(QDir::cleanPath(*folder)).fileName());
}

void Registration::mnuNewShortCut_Click() {
    Chooser::FileRequest request;
    request.initialName = QStringLiteral("実行するファイルを選択してください");
    request.filters = {QStringLiteral("実行ファイル (*)"),
                       QStringLiteral("ショートカットファイル (*.desktop *.lnk)")};
    const std::optional<QString> file = chooser().chooseFile(request);
    if (!file)
        return;
    if (!QFileInfo(*file).isFile()) {
        showMessage(QStringLiteral("指定されたファイルが見つかりません"), MsgIcon::Exclamation);
        return;
    }
    frmDropFile dialog(*this, &m_window);
    dialog.setTag(*file);
    dialog.cmdLink_Click();
}

void Registration::NewApp(const QString& folder, const QString& title) {
    const QString source = withTrailingSlash(folder);
    const QString refusal = RegistrationRefusal(source);
    if (!refusal.isEmpty()) {
        showMessage(refusal, MsgIcon::Exclamation);
        return;
    }
    const QString name = claimTitle(
        title.isEmpty() ? GetField(source, QStringLiteral("/"), CountFields(source, QStringLiteral("/")) - 1)
                        : title);
    if (name.isEmpty())
        return;
    // An archive of that name that no application owns may be added to: a registration
    // that is not completed must leave it as it was.
    const QString archive = settings().PackDir + name + QStringLiteral(".lzh");
    PriorArchive prior(archive);
    if (!prior.kept()) {
        showMessage(archive + QStringLiteral("\r\nを退避できないため、登録を中止しました。"),
                    MsgIcon::Critical);
        return;
    }
    if (!LhaCompressDir(name, source))
        return;
    // A copy that fails (a name or a link the execution folder's file system refuses, a full
    // disk) takes the whole registration back: an application without its files would be
    // registered as expanded and fail to run.
    const QString copy = settings().ExecDir + name + u'/';
    const bool madeHere = !QFileInfo::exists(copy);
    const CopyOutcome outcome = CopyIntoExecutionFolder(source, copy);
    if (outcome == CopyOutcome::Failed) {
        prior.restore();
        return;
    }
    const bool copied = outcome == CopyOutcome::Complete;
    // Only a folder this copy made is the launcher's to sweep away one day.
    if (madeHere)
        MarkMadeByVadok(copy);

    switch (NewAppCore(name)) {
    case EditOutcome::Saved:
        // The source folder may be the only other copy: it goes only when the archive read
        // back complete and the execution folder holds all of it.
        if (!copied) {
            showMessage(QStringLiteral("実行フォルダへのコピーが完全ではないため、"
                                       "元のフォルダは削除しません。\r\n") +
                            source,
                        MsgIcon::Exclamation);
        } else if (askBeforeDeleting(
                       QStringLiteral("アプリケーションの存在したディレクトリ\r\n\r\n") + source +
                           QStringLiteral("\r\n\r\nを削除してもいいですか"),
                       MsgIcon::None, MsgButtons::YesNo) == MsgAnswer::Yes) {
            DeleteFolder(source, this, true);
        }
        break;
    case EditOutcome::Cancelled:
        prior.restore();
        // A folder that stood there before is not this registration's to take away.
        if (madeHere && QFileInfo::exists(copy) && DeleteFolder(copy, this, false))
            ForgetMadeByVadok(copy);
        break;
    case EditOutcome::Deleted:
        // Deleting the new application took the archive with it.
        prior.restore();
        break;
    }
}

EditOutcome Registration::NewAppCore(const QString& title) {
    PackApp& app = m_apps.emplace_back();
    app.setAppName(title);
    app.setAppDir(QStringLiteral("ROOT"));
    app.setExecCmd(QString());
    app.setInfo(QString());
    app.setLastOpenDateTime(currentDateTime());
    const EditOutcome outcome = editApp(app);
    reloadTreeShowing(app.AppName());
    return outcome;
}

bool Registration::NewAppShortCut(const QString& title, const QString& command,
                             const QString& baseFolder) {
    const QString name = claimTitle(title);
    if (name.isEmpty())
        return false;
    PackApp app;
    app.SetShortCut(baseFolder);
    app.setAppName(name);
    app.setExecCmd(command);
    app.setLastOpenDateTime(currentDateTime());
    if (editApp(app) == EditOutcome::Cancelled)
        return false;
    reloadTreeShowing(app.AppName());
    return true;
}

bool Registration::titleInUse(const QString& title) {
    if (m_tree.node(title))
        return true;
    const Settings& s = settings();
    // A sync engine's conflict copy of an archive holds the only copy of another machine's
    // version: registering under its name would store into it or copy over it.
    const QString archiveName = title + QStringLiteral(".lzh");
    if (!conflictCopyOriginal(archiveName).isEmpty() && QFileInfo::exists(s.PackDir + archiveName))
        return true;
    // A record the tree does not show still owns its archive and expanded folder.
    AppRecord record;
    return FindAppByName(title, record) &&
           (QFileInfo::exists(s.PackDir + title + QStringLiteral(".lzh")) ||
            QFileInfo::exists(s.ExecDir + title));
}

QString Registration::claimTitle(const QString& title) {
    QString name = title;
    QString problem = wholeNameRefusal(name);
    for (;;) {
        if (problem.isEmpty()) {
            if (!titleInUse(name))
                return name;
            problem = u'[' + name + QStringLiteral("] という名前のアプリケーションは既に登録されています。");
        }
        // Numbering one of the launcher's own names would keep it one: the offer drops the
        // leading underscore.
        const QString base = isLaunchersOwnName(title) ? title.mid(1) : title;
        const QString suggestion =
            SuggestFreeTitle(base, [this](const QString& candidate) { return titleInUse(candidate); });
        const std::optional<QString> answer = prompter().input(
            problem + QStringLiteral("\r\n別の名前で登録する場合は、名前を入力してください。"),
            QStringLiteral("登録名の確認"), suggestion);
        if (!answer)
            return QString();
        name = answer->trimmed();
        problem = nameRefusal(name);
    }
}

bool Registration::catalogLoading() const {
    return m_hooks.loading();
}

bool Registration::holdsApplications() const {
    // The first slot of Apps is never an application's.
    return m_apps.size() > 1;
}

EditOutcome Registration::EditUpdatedApp(PackApp& app) {
    frmEdit editor(editorFolderList(), &m_window);
    const EditOutcome outcome = app.ShowConfig(editor);
    if (outcome != EditOutcome::Cancelled)
        reloadTreeShowing(app.AppName());
    return outcome;
}

void Registration::reloadTreeShowing(const QString& name) {
    QStringList open;
    for (QTreeWidgetItemIterator it(&m_tree); *it; ++it) {
        if ((*it)->isExpanded())
            open.append(CatalogTree::key(*it));
    }
    m_hooks.reloadTree();
    for (const QString& key : open) {
        if (QTreeWidgetItem* folder = m_tree.node(key))
            folder->setExpanded(true);
    }
    QTreeWidgetItem* node = m_tree.node(name);
    // A node without a tag has no record behind it (the build was stopped before it).
    if (!node || CatalogTree::tag(node).isEmpty() || CatalogTree::tag(node) == kRoot)
        return;
    for (QTreeWidgetItem* up = node->parent(); up; up = up->parent())
        up->setExpanded(true);
    m_tree.setCurrentItem(node);
    m_tree.scrollToItem(node);
}

EditOutcome Registration::editApp(PackApp& app) {
    frmEdit editor(editorFolderList(), &m_window);
    return app.ShowConfig(editor);
}

QStringList Registration::editorFolderList() const {
    QStringList entries{kRoot};
    if (const QTreeWidgetItem* root = m_tree.node(kRoot))
        addFolderEntries(root, 1, entries);
    return entries;
}

} // namespace vadok

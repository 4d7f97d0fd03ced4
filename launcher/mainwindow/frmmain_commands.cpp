// The user's commands on the selected application: run, store, alternative commands, open
// folders, and the two maintenance commands of applications that are never stored.
#include "mainwindow/frmmain.h"

#include "apps/setaside.h"
#include "catalog/settings.h"
#include "instances/startrequest.h"
#include "mainwindow/appstate.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/fulltextcommand.h"
#include "mainwindow/waitingstores.h"
#include "platform/clock.h"
#include "platform/keystate.h"
#include "platform/prompter.h"
#include "platform/shellopen.h"
#include "util/folderutil.h"
#include "util/statustext.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace vadok {

namespace {

const QString kNoSelection = QStringLiteral("アプリケーションが選択されていません");

QString lines(std::initializer_list<const char16_t*> parts) {
    QStringList text;
    for (const char16_t* part : parts)
        text << QString::fromUtf16(part);
    return text.join(QStringLiteral("\r\n"));
}

// What the status bar says once a program has started: nothing shows for a while when wine
// first builds its prefix, and the user must not think the start failed.
QString startedText(const QString& name, bool buildsWinePrefix) {
    QString text = name + QStringLiteral("を起動しました。");
    if (buildsWinePrefix)
        text += QStringLiteral("wineの初回の準備をしているため、表示されるまで時間がかかります。");
    return text;
}

} // namespace

void frmMain::reportNoSelection() {
    prompter().beep();
    SetStatusText(kNoSelection, 1);
}

int frmMain::selectedAppOrReport() {
    const int index = SelectedAppIndex();
    if (index < 0)
        reportNoSelection();
    return index;
}

void frmMain::pauseFor(int milliseconds) {
    // Waits with the window still painting.
    const QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, int(deadline.remainingTime()));
}

void frmMain::cmdExec_Click() {
    // Read first, so the user may let go of the key once the command has started.
    const bool leave = isKeyDown(settings().Key.AppCallEnd);
    const CommandScope scope(m_commands);
    if (scope.busy())
        return;
    const int index = selectedAppOrReport();
    if (index < 0)
        return;
    PackApp& app = m_apps[size_t(index)];
    m_waitingStores->drop(app.AppName());
    SetStatusText(app.AppName() + QStringLiteral("を実行開始..."), 1);
    SetStatusText(QStringLiteral("展開"), 2);
    // Asked before the start: wine makes its prefix as it starts.
    const bool buildsWinePrefix = StartBuildsWinePrefix(app.programOf(QString()));
    QString command;
    const bool started = app.Execute(command, QString());
    SetStatusText(started ? startedText(app.AppName(), buildsWinePrefix) : QString(), 1);
    showAppState(*m_tree, m_apps, index);
    // Nothing was started, or the start failed and said why: the window stays where the user
    // can read it, also in the tray modes.
    if (!started)
        return;

    const int trayMode = settings().Config.IntoTaskTray;
    if (trayMode == 1 || trayMode == 2) {
        if (!leave)
            setWindowState(windowState() | Qt::WindowMinimized);
    } else if (leave) {
        hide();
        QTimer::singleShot(m_pauses.leaveMs, this, [this] {
            setStage(WindowStage::Fin);
            close();
        });
    }
}

void frmMain::TreeView_DblClick() {
    m_folderToggled = true;
    // Expanding or collapsing a folder clears the pointer mark, so a double click that
    // toggled a folder runs nothing.
    if (m_pointerOnNode)
        cmdExec_Click();
}

void frmMain::cmdPack_Click() {
    const bool rebuild = isKeyDown(settings().PackKey);
    const CommandScope scope(m_commands);
    if (scope.busy())
        return;
    const int index = selectedAppOrReport();
    if (index < 0)
        return;
    PackApp& app = m_apps[size_t(index)];
    SetStatusText(QStringLiteral("格納しています..."), 1);
    if (rebuild) {
        SetStatusText(QStringLiteral("圧縮ファイルを再作成しています..."), 1);
        pauseFor(m_pauses.repackMs);
    }
    // The archiver's update mode keeps files deleted from the folder since; a rebuild leaves
    // them out, and replaces the archive only once the new one is complete.
    const StoreOutcome outcome = app.Store(QString(), rebuild, WhenInUse::AskOrWait);
    m_fullText->refresh();
    showAppState(*m_tree, m_apps, index);
    SetStatusText(QString(), 1);
    if (outcome == StoreOutcome::Wait)
        m_waitingStores->add(app.AppName(), {rebuild, false});
}

void frmMain::TreePopSubExec_Click(int index) {
    const QString command = m_menus.subCommands.value(index);
    if (command.isEmpty())
        return;
    const CommandScope scope(m_commands);
    if (scope.busy())
        return;
    const int app = selectedAppOrReport();
    if (app < 0)
        return;
    QString alternative = command;
    m_waitingStores->drop(m_apps[size_t(app)].AppName());
    const bool buildsWinePrefix = StartBuildsWinePrefix(m_apps[size_t(app)].programOf(command));
    if (m_apps[size_t(app)].Execute(alternative, QString()))
        SetStatusText(startedText(m_apps[size_t(app)].AppName(), buildsWinePrefix), 1);
    showAppState(*m_tree, m_apps, app);
}

void frmMain::TreePopOpenDir_Click() {
    const CommandScope scope(m_commands);
    if (scope.busy())
        return;
    const int index = selectedAppOrReport();
    if (index < 0)
        return;
    PackApp& app = m_apps[size_t(index)];
    if (app.isPack()) {
        quintptr owner = windowId();
        if (!app.UnPack(owner)) {
            showAppState(*m_tree, m_apps, index);
            return;
        }
    }
    const QString folder =
        app.OverRideBasePath().isEmpty() ? app.expandedFolder() : app.OverRideBasePath();
    app.setLastOpenDateTime(currentDateTime());
    ShellOpen(folder, QString(), QString());
    showAppState(*m_tree, m_apps, index);
}

void frmMain::mnuFolExec_Click() {
    ShellOpen(settings().ExecDir, QString(), QString());
}

void frmMain::mnuFolPack_Click() {
    ShellOpen(settings().PackDir, QString(), QString());
}

// The re-expand and re-compress commands of never-stored applications: asks, and names the
// selected application only when the answer is yes. The caller holds a CommandScope.
PackApp* frmMain::confirmNoPackCommand(const QString& question, const QString& declinedStatus) {
    if (askBeforeDeleting(question, MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes) {
        SetStatusText(declinedStatus, 1);
        return nullptr;
    }
    const int index = selectedAppOrReport();
    if (index < 0)
        return nullptr;
    return &m_apps[size_t(index)];
}

void frmMain::mnuNoPackExtract_Click() {
    const QString question = lines({
        u"このアプリケーションは[圧縮保存しない]設定となっています。",
        u"そのため常に実行フォルダ上に展開された状況となっているので格納・展開を行う",
        u"必要はありません。",
        u"しかしプログラムの不具合などにより設定などが失われる場合があります。",
        u"ここでは展開フォルダの内容をクリアし、圧縮ファイルから再度展開します。",
        u"展開フォルダの内容が破損した場合などにこの機能を使用して、以前の状態に戻す",
        u"ことができます。",
        u"",
        u"このアプリケーションを再度展開してよいですか？",
        u"[はい]を押すと展開フォルダの内容をクリアし、圧縮ファイルから再度展開します。",
    });
    const CommandScope scope(m_commands);
    if (scope.busy())
        return;
    PackApp* chosen = confirmNoPackCommand(question, QStringLiteral("再展開は実行されませんでした"));
    if (!chosen)
        return;
    PackApp& app = *chosen;
    const int index = SelectedAppIndex();
    // The folder is this application's working copy: it goes to the trash only once the
    // archive has expanded in its place, and comes back when the archive cannot.
    const QString folder = settings().ExecDir + app.AppName();
    const QString aside = reExpansionAside(settings().ExecDir, app.AppName());
    const bool moved =
        !QFileInfo::exists(folder) || (!QFileInfo::exists(aside) && QDir().rename(folder, aside));
    quintptr owner = windowId();
    if (!moved || !app.UnPack(owner)) {
        if (moved && QFileInfo::exists(aside) && !QDir().rename(aside, folder))
            showMessage(app.AppName() +
                            QStringLiteral(" の展開フォルダを元に戻せませんでした。\r\n"
                                           "元の内容は次のフォルダにあります。\r\n") +
                            aside,
                        MsgIcon::Exclamation);
        SetStatusText(QStringLiteral("再展開は実行されませんでした"), 1);
        showAppState(*m_tree, m_apps, index);
        return;
    }
    if (QFileInfo::exists(aside))
        DeleteFolder(aside, this, false);
    m_fullText->refresh();
    SetStatusText(QStringLiteral("再展開が完了しました"), 1);
    showAppState(*m_tree, m_apps, index);
}

void frmMain::numNoPackPack_Click() {
    const QString question = lines({
        u"このアプリケーションは[圧縮保存しない]設定となっています。",
        u"そのため常に実行フォルダ上に展開された状況となっているので格納・展開を行う",
        u"必要はありません。",
        u"圧縮ファイルはバックアップとして保持していますが、通常圧縮ファイルは更新",
        u"されることなく初期状態のままです。",
        u"ここでは圧縮ファイルを現在の展開ディレクトリの内容で更新します。",
        u"　(バックアップなどの目的でこの機能を使用できるのでは…と思います)",
        u"",
        u"このアプリケーションを再度格納してよいですか？",
        u"[はい]を押すと圧縮ファイルを現在の展開フォルダの内容で更新します。",
    });
    const CommandScope scope(m_commands);
    if (scope.busy())
        return;
    PackApp* chosen = confirmNoPackCommand(question, QStringLiteral("再圧縮は行われませんでした"));
    if (!chosen)
        return;
    PackApp& app = *chosen;
    // After a failed store the folder holds the only copy of every change since the last
    // archive: expanding the older archive over it would overwrite them.
    const StoreOutcome outcome = app.Store(QString(), false, WhenInUse::AskOrWait);
    if (outcome == StoreOutcome::Wait) {
        m_waitingStores->add(app.AppName(), {false, true});
        return;
    }
    if (outcome != StoreOutcome::Stored) {
        SetStatusText(QStringLiteral("再圧縮は行われませんでした"), 1);
        return;
    }
    // The archive now holds the folder; a failed expansion (shown) leaves it stored.
    quintptr owner = windowId();
    app.UnPack(owner);
    m_fullText->refresh();
    SetStatusText(QStringLiteral("再圧縮が完了しました"), 1);
    showAppState(*m_tree, m_apps, SelectedAppIndex());
}

void frmMain::ExecAppByName(const QString& name, const QStringList& arguments) {
    const CommandScope scope(m_commands);
    if (scope.busy())
        return;
    for (size_t i = 1; i < m_apps.size(); ++i) {
        if (m_apps[i].AppName() == name) {
            m_waitingStores->drop(name);
            QString command;
            m_apps[i].Execute(command, arguments.isEmpty() ? QString() : QuotedParameters(arguments));
            refreshAppState(*m_tree, m_apps, int(i));
            return;
        }
    }
    SetStatusText(NotRegisteredText(name), 1);
}

} // namespace vadok

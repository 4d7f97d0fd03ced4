// Checking archives: one application's from its menu, every archive of the pack folder from
// the file menu, and the conflict copies a sync engine left before they are offered. The
// archives are decoded on a thread of their own behind a progress dialog that can be
// cancelled; nothing is expanded.
#include "mainwindow/frmmain.h"

#include "apps/archivecheckjob.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "mainwindow/sizespanel.h"
#include "platform/prompter.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>

namespace vadok {

namespace {

QString damageText(const ArchiveCheckJob::Outcome& outcome) {
    const QString reason = faultText(outcome.result.fault);
    return outcome.result.member.isEmpty() ? reason : outcome.result.member + QStringLiteral(": ") + reason;
}

} // namespace

bool frmMain::runArchiveChecks(ArchiveCheckJob& job) {
    QProgressDialog dialog(QStringLiteral("圧縮ファイルを検査しています..."),
                           QStringLiteral("キャンセル"), 0, 1000, this);
    dialog.setObjectName(QStringLiteral("dlgArchiveCheck"));
    dialog.setWindowTitle(QStringLiteral("圧縮ファイルの検査"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &dialog, [&job, &dialog] {
        const ArchiveCheckJob::Progress p = job.progress();
        dialog.setValue(int(p.fraction * 1000));
        if (!p.current.isEmpty())
            dialog.setLabelText(QStringLiteral("圧縮ファイルを検査しています... %1 (%2/%3)")
                                    .arg(p.current)
                                    .arg(p.done + 1)
                                    .arg(p.count));
    });
    connect(&dialog, &QProgressDialog::canceled, &job, &ArchiveCheckJob::cancel);
    QEventLoop wait;
    connect(&job, &ArchiveCheckJob::finished, &wait, &QEventLoop::quit);
    poll.start(100);
    job.start();
    wait.exec();
    return !job.wasCancelled();
}

void frmMain::TreePopCheckArchive_Click() {
    const CommandScope scope(m_commands);
    if (scope.busy())
        return;
    const int index = selectedAppOrReport();
    if (index < 0)
        return;
    const PackApp& app = m_apps[size_t(index)];
    const QString name = app.AppName();
    ArchiveCheckJob job({{name, app.archivePath()}});
    if (!runArchiveChecks(job) || job.outcomes().isEmpty())
        return;
    const ArchiveCheckJob::Outcome& outcome = job.outcomes().constFirst();
    if (outcome.result.sound)
        showMessage(u'[' + name + QStringLiteral("]の圧縮ファイルは正常です。"), MsgIcon::Information);
    else
        showMessage(u'[' + name + QStringLiteral("]の圧縮ファイルが壊れています。\r\n") + damageText(outcome),
                    MsgIcon::Exclamation);
}

void frmMain::mnuCheckArchives_Click() {
    const CommandScope scope(m_commands);
    if (scope.busy())
        return;
    QList<ArchiveCheckJob::Item> items;
    const QDir pack(settings().PackDir);
    for (const QFileInfo& file : pack.entryInfoList({QStringLiteral("*.lzh")}, QDir::Files, QDir::Name))
        items.append({file.completeBaseName(), file.absoluteFilePath()});
    if (items.isEmpty()) {
        showMessage(QStringLiteral("格納フォルダに圧縮ファイルがありません。"), MsgIcon::Information);
        return;
    }
    ArchiveCheckJob job(items);
    const bool finished = runArchiveChecks(job);
    QStringList damaged;
    for (const ArchiveCheckJob::Outcome& outcome : job.outcomes()) {
        if (!outcome.result.sound)
            damaged.append(QStringLiteral("[%1] %2").arg(outcome.name, damageText(outcome)));
    }
    QString text;
    if (!finished)
        text = QStringLiteral("検査を中止しました。(%1 個中 %2 個を検査しました)")
                   .arg(items.size())
                   .arg(job.outcomes().size());
    else if (damaged.isEmpty())
        text = QStringLiteral("%1 個の圧縮ファイルはすべて正常です。").arg(items.size());
    if (!damaged.isEmpty()) {
        if (!text.isEmpty())
            text += QStringLiteral("\r\n\r\n");
        text += QStringLiteral("次の圧縮ファイルが壊れています。\r\n") + damaged.join(QStringLiteral("\r\n"));
    }
    showMessage(text, damaged.isEmpty() ? MsgIcon::Information : MsgIcon::Exclamation);
}

void frmMain::offerArchiveConflicts() {
    // Settling a pair swaps archives: not while a command stores or expands one.
    if (m_commands.running()) {
        m_commands.whenIdle([this] { offerArchiveConflicts(); });
        return;
    }
    const CommandScope scope(m_commands);
    const auto isApplication = [this](const QString& name) {
        for (const PackApp& app : m_apps) {
            if (!app.AppName().isEmpty() && app.AppName() == name)
                return true;
        }
        // A record the tree does not show owns its archive too. Without a data file there
        // is none, and asking would report the file missing in the middle of this.
        PackApp recorded;
        return QFileInfo::exists(dataFilePath()) && appWithRecord(name, recorded);
    };
    if (m_archiveConflicts.offer(isApplication,
                                 [this](ArchiveCheckJob& job) { return runArchiveChecks(job); }))
        m_sizesPanel->showShownNode();
}

} // namespace vadok

// Each application's state at a glance: a mark on the icon of an expanded application, and a
// tool tip saying whether it is expanded and when the exit will store it again.
#include "mainwindow/frmmain.h"

#include "apps/idlestoring.h"
#include "catalog/settings.h"
#include "mainwindow/catalogtree.h"
#include "platform/clock.h"

#include <QTreeWidgetItem>

namespace vadok {

namespace {

QString stateTip(PackApp& app, bool expanded) {
    if (!expanded)
        return QStringLiteral("格納済み");
    const std::optional<int> days =
        daysBeforeStoring(app, currentDateTime(), settings().Config.PackDate);
    if (!days)
        return QStringLiteral("展開中 (格納しない)");
    if (*days == 0)
        return QStringLiteral("展開中 (次の終了時に格納)");
    return QStringLiteral("展開中 (あと %1 日で格納)").arg(*days);
}

} // namespace

void frmMain::refreshAppState(int index) {
    if (index < 1 || index >= int(m_apps.size()))
        return;
    PackApp& app = m_apps[size_t(index)];
    QTreeWidgetItem* node = m_tree->node(app.AppName());
    if (!node)
        return;
    if (app.ShortCut()) {
        node->setToolTip(0, QString());
        return;
    }
    const bool expanded = app.isExpandedOnDisk();
    m_tree->setExpandedMark(node, expanded);
    node->setToolTip(0, stateTip(app, expanded));
}


} // namespace vadok

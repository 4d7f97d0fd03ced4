// Each application's state at a glance: a mark on the icon of an expanded application, and a
// tool tip saying whether it is expanded and when the exit will store it again.
#include "mainwindow/appstate.h"

#include "apps/idlestoring.h"
#include "catalog/settings.h"
#include "mainwindow/catalogtree.h"
#include "platform/clock.h"
#include "util/statustext.h"

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

void refreshAppState(CatalogTree& tree, std::vector<PackApp>& apps, int index) {
    if (index < 1 || index >= int(apps.size()))
        return;
    PackApp& app = apps[size_t(index)];
    QTreeWidgetItem* node = tree.node(app.AppName());
    if (!node)
        return;
    if (app.ShortCut()) {
        node->setToolTip(0, QString());
        return;
    }
    const bool expanded = app.isExpandedOnDisk();
    tree.setExpandedMark(node, expanded);
    node->setToolTip(0, stateTip(app, expanded));
}

// A shortcut entry has no folder of its own and always reads as expanded.
void showAppState(CatalogTree& tree, std::vector<PackApp>& apps, int index) {
    if (index >= 1 && index < int(apps.size())) {
        const PackApp& app = apps[size_t(index)];
        const bool expanded = app.ShortCut() || app.isExpandedOnDisk();
        SetStatusText(expanded ? QStringLiteral("展開") : QStringLiteral("圧縮"), 2);
    }
    refreshAppState(tree, apps, index);
}

} // namespace vadok

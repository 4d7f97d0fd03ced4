#include "mainwindow/firststarthint.h"

#include "mainwindow/catalogtree.h"

#include <QEvent>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include <algorithm>

namespace vadok {

namespace {

// Application nodes carry their index in the window's list as tag; folders none, the root
// "ROOT".
bool holdsApplication(const CatalogTree& tree) {
    for (QTreeWidgetItemIterator it(const_cast<CatalogTree*>(&tree)); *it; ++it) {
        bool number = false;
        CatalogTree::tag(*it).toInt(&number);
        if (number)
            return true;
    }
    return false;
}

} // namespace

FirstStartHint::FirstStartHint(CatalogTree* tree) : QLabel(tree->viewport()), m_tree(tree) {
    setObjectName(QStringLiteral("lblFirstStart"));
    setText(text());
    setWordWrap(true);
    setAlignment(Qt::AlignCenter);
    setForegroundRole(QPalette::PlaceholderText);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();

    QAbstractItemModel* model = tree->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, &FirstStartHint::scheduleRefresh);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &FirstStartHint::scheduleRefresh);
    connect(model, &QAbstractItemModel::modelReset, this, &FirstStartHint::scheduleRefresh);
    // A node's tag is set after it is inserted.
    connect(model, &QAbstractItemModel::dataChanged, this, &FirstStartHint::scheduleRefresh);
    connect(tree, &QTreeWidget::itemExpanded, this, &FirstStartHint::place);
    connect(tree, &QTreeWidget::itemCollapsed, this, &FirstStartHint::place);
    tree->viewport()->installEventFilter(this);
}

QString FirstStartHint::text() {
    return QStringLiteral("アプリケーションはまだ登録されていません。\n\n"
                          "アプリケーションのフォルダ、または .lzh / .zip ファイルを"
                          "このウィンドウにドロップすると登録できます。\n"
                          "メニューの ファイル → 新しいプログラムの登録 からも登録できます。");
}

bool FirstStartHint::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && isVisible())
        place();
    return QLabel::eventFilter(watched, event);
}

void FirstStartHint::scheduleRefresh() {
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, &FirstStartHint::refresh);
}

void FirstStartHint::refresh() {
    m_refreshPending = false;
    // An empty tree is one still being read, not an empty catalog.
    const bool show = m_tree->topLevelItemCount() > 0 && !holdsApplication(*m_tree);
    setVisible(show);
    if (show)
        place();
}

void FirstStartHint::place() {
    const QRect area = m_tree->viewport()->rect();
    int top = 0;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it)
        top = std::max(top, m_tree->visualItemRect(*it).bottom());
    const int margin = 12;
    const int width = std::max(0, area.width() - 2 * margin);
    const int height = heightForWidth(width);
    // Centred in the tree, never over its nodes.
    const int y = std::max(top + margin, (area.height() - height) / 2);
    setGeometry(margin, y, width, height);
}

} // namespace vadok

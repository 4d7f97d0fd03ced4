#include "dialogs/frmfulltext.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>

namespace vadok {

namespace {

enum Column { TitleColumn, PlaceColumn, ExcerptColumn };

constexpr int kRequeryMs = 400;
// Cut applications named in the dialog; the rest are counted.
constexpr int kCutNamed = 5;

// Draws the excerpt column from its rich text, so the found words show in bold.
class MarkedExcerptDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QString html = index.data(frmFullText::MarkedExcerptRole).toString();
        item.text.clear();
        QStyle* style = item.widget ? item.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);

        QTextDocument doc;
        doc.setDefaultFont(item.font);
        doc.setDocumentMargin(0);
        doc.setHtml(html);
        const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget);
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette = item.palette;
        if (item.state & QStyle::State_Selected)
            context.palette.setColor(QPalette::Text,
                                     item.palette.color(QPalette::HighlightedText));
        context.clip = QRectF(0, 0, area.width(), area.height());
        painter->save();
        painter->translate(area.left(), area.top() + (area.height() - doc.size().height()) / 2);
        painter->setClipRect(context.clip);
        doc.documentLayout()->draw(painter, context);
        painter->restore();
    }
};

} // namespace

frmFullText::frmFullText(Ask ask, QWidget* parent) : QDialog(parent), m_ask(std::move(ask)) {
    setObjectName(QStringLiteral("frmFullText"));
    setWindowTitle(QStringLiteral("全文検索"));

    m_box = new QLineEdit(this);
    m_box->setObjectName(QStringLiteral("txtFullText"));
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("lblProgress"));
    m_progress->hide();
    m_failure = new QLabel(this);
    m_failure->setObjectName(QStringLiteral("lblFailure"));
    m_failure->setWordWrap(true);
    m_failure->hide();
    m_cut = new QLabel(this);
    m_cut->setObjectName(QStringLiteral("lblCut"));
    m_cut->setWordWrap(true);
    m_cut->hide();
    m_results = new QTreeWidget(this);
    m_results->setObjectName(QStringLiteral("lvwFullText"));
    m_results->setColumnCount(3);
    m_results->setHeaderLabels(
        {QStringLiteral("タイトル"), QStringLiteral("場所"), QStringLiteral("内容")});
    m_results->setRootIsDecorated(false);
    m_results->setUniformRowHeights(true);
    m_results->setAllColumnsShowFocus(true);
    m_results->setItemDelegateForColumn(ExcerptColumn, new MarkedExcerptDelegate(m_results));
    m_results->header()->setStretchLastSection(true);
    m_results->setColumnWidth(TitleColumn, 160);
    m_results->setColumnWidth(PlaceColumn, 110);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_box);
    layout->addWidget(m_progress);
    layout->addWidget(m_failure);
    layout->addWidget(m_results);
    layout->addWidget(m_cut);
    resize(640, 400);

    m_requery = new QTimer(this);
    m_requery->setSingleShot(true);
    m_requery->setInterval(kRequeryMs);
    connect(m_requery, &QTimer::timeout, this, [this] { search(true); });
    connect(m_box, &QLineEdit::textChanged, this, [this] { search(false); });
    connect(m_results, &QTreeWidget::itemDoubleClicked, this, [this] { choose(false); });
    m_box->installEventFilter(this);
    m_results->installEventFilter(this);
}

QString frmFullText::markedExcerpt(const QString& excerpt, const QList<QPair<int, int>>& marks) {
    QList<QPair<int, int>> sorted = marks;
    std::sort(sorted.begin(), sorted.end());
    QString html;
    int at = 0;
    for (const auto& [start, length] : sorted) {
        // Overlapping or stray marks are clipped to the text rather than trusted.
        const int begin = std::clamp(start, at, int(excerpt.size()));
        const int end = std::clamp(start + length, begin, int(excerpt.size()));
        if (end == begin)
            continue;
        html += excerpt.mid(at, begin - at).toHtmlEscaped();
        html += QStringLiteral("<b>") + excerpt.mid(begin, end - begin).toHtmlEscaped() +
                QStringLiteral("</b>");
        at = end;
    }
    html += excerpt.mid(at).toHtmlEscaped();
    return html;
}

void frmFullText::showProgress(int done, int total) {
    m_progress->setText(QStringLiteral("索引を作成しています... %1/%2").arg(done).arg(total));
    m_progress->show();
    if (!m_box->text().trimmed().isEmpty() && !m_requery->isActive())
        m_requery->start();
}

void frmFullText::showIndexed(const QStringList& cut) {
    m_progress->hide();
    m_requery->stop();
    if (cut.isEmpty()) {
        m_cut->hide();
    } else {
        QString names = cut.mid(0, kCutNamed).join(QStringLiteral("、"));
        if (cut.size() > kCutNamed)
            names += QStringLiteral(" ほか%1件").arg(cut.size() - kCutNamed);
        m_cut->setText(QStringLiteral("添付のテキストが多すぎるため、次のアプリケーションは一部だけを索引しています: ") + names);
        m_cut->show();
    }
    search(true);
}

void frmFullText::showFailed(const QString& message) {
    m_requery->stop();
    m_progress->setText(message);
    m_progress->show();
}

void frmFullText::bringUp() {
    show();
    raise();
    activateWindow();
    m_box->setFocus();
    // Queued behind the deselection that the box's last loss of focus left pending.
    QMetaObject::invokeMethod(m_box, &QLineEdit::selectAll, Qt::QueuedConnection);
}

void frmFullText::search(bool keepChoice) {
    m_requery->stop();
    m_chosen = keepChoice && m_results->currentItem() ? m_results->currentItem()->text(TitleColumn)
                                                      : QString();
    const QString text = m_box->text();
    if (text.trimmed().isEmpty()) {
        m_asked.clear();
        m_results->clear();
        m_failure->hide();
        return;
    }
    // Asked again for the same words (the index grew), an Enter already typed still waits
    // for the answer; typed on, the user has not chosen yet.
    if (text != m_asked)
        m_chooseOnAnswer.reset();
    m_asked = text;
    m_ask(text);
}

void frmFullText::showAnswer(const QString& text, const FullTextAnswer& answer) {
    if (text != m_asked || text != m_box->text())
        return;
    m_asked.clear();
    m_results->clear();
    m_failure->setText(answer.error);
    m_failure->setVisible(!answer.error.isEmpty());
    QTreeWidgetItem* keep = nullptr;
    for (const FullTextHit& hit : answer.hits) {
        auto* item = new QTreeWidgetItem(m_results, {hit.title, hit.place, hit.excerpt});
        item->setData(ExcerptColumn, MarkedExcerptRole, markedExcerpt(hit.excerpt, hit.marks));
        if (!keep && hit.title == m_chosen)
            keep = item;
    }
    // The best hit is what Enter takes; asked again for the same words (the index grew), the
    // one the user had moved to stays chosen while it is still there.
    if (QTreeWidgetItem* current = keep ? keep : m_results->topLevelItem(0))
        m_results->setCurrentItem(current);
    if (const std::optional<bool> run = std::exchange(m_chooseOnAnswer, std::nullopt))
        choose(*run);
}

void frmFullText::choose(bool run) {
    // Enter typed before the answer came takes the best of that answer, not of the last.
    if (isAsking()) {
        m_chooseOnAnswer = run;
        return;
    }
    const QTreeWidgetItem* item = m_results->currentItem();
    if (!item)
        return;
    const QString title = item->text(TitleColumn);
    close();
    if (run)
        emit runRequested(title);
    else
        emit selectRequested(title);
}

void frmFullText::moveCurrent(int step) {
    const int count = m_results->topLevelItemCount();
    if (count == 0)
        return;
    const int row = m_results->indexOfTopLevelItem(m_results->currentItem());
    m_results->setCurrentItem(m_results->topLevelItem(std::clamp(row + step, 0, count - 1)));
}

bool frmFullText::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        choose(key->modifiers() & Qt::ControlModifier);
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (watched != m_box)
            break;
        moveCurrent(key->key() == Qt::Key_Up ? -1 : 1);
        return true;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace vadok

// Files and folders dropped on the main window, or handed over by a second start, go to the
// dropped-item dialog.
#include "mainwindow/registration.h"

#include "dialogs/frmdropfile.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/commandgate.h"
#include "platform/prompter.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

namespace vadok {

namespace {

// Takes drops of files and folders from other programs for the window, whichever of its
// parts they land on; drags inside the tree are left to the tree.
class DroppedItemsFilter : public QObject {
public:
    DroppedItemsFilter(QObject* parent, std::function<void(const QList<QUrl>&)> dropped)
        : QObject(parent), m_dropped(std::move(dropped)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!drag->mimeData()->hasUrls())
                break;
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (!drop->mimeData()->hasUrls())
                break;
            drop->acceptProposedAction();
            // The dialog opens once the drop is over, so that the program the items came
            // from is not kept waiting for the end of the drag.
            const QList<QUrl> items = drop->mimeData()->urls();
            QTimer::singleShot(0, this, [this, items] { m_dropped(items); });
            return true;
        }
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(const QList<QUrl>&)> m_dropped;
};

} // namespace

void Registration::installDropTargets() {
    m_window.setAcceptDrops(true);
    auto* filter = new DroppedItemsFilter(this, [this](const QList<QUrl>& items) {
        m_commands.whenIdle([this, items] { Form_OLEDragDrop(items); });
    });
    m_window.installEventFilter(filter);
    // The tree takes drops of its own once nodes can be dragged; dropped files still go to
    // the window.
    m_tree.viewport()->installEventFilter(filter);
}

void Registration::Form_OLEDragDrop(const QList<QUrl>& items) {
    if (items.size() != 1) {
        showMessage(QStringLiteral("一度にドロップできるのは１つのファイル/フォルダだけです"));
        return;
    }
    const QUrl& item = items.constFirst();
    showDropDialog(item.isLocalFile() ? item.toLocalFile() : item.toString());
}

void Registration::showDropDialog(const QString& path) {
    frmDropFile dialog(*this, &m_window);
    dialog.setTag(path);
    dialog.exec();
    // A version-up stores the new version after its editor has closed.
    m_hooks.dropHandled();
}

} // namespace vadok

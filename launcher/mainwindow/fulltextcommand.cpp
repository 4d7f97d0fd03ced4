#include "mainwindow/fulltextcommand.h"

#include "dialogs/frmfulltext.h"
#include "fulltext/fulltextsearch.h"
#include "util/statustext.h"

#include <QAction>
#include <QKeySequence>
#include <QWidget>

namespace vadok {

FullTextCommand::FullTextCommand(QWidget& window, QAction* action)
    : QObject(&window), m_window(window) {
    m_search = new FullTextSearch(this);
    connect(m_search, &FullTextSearch::rebuilt, this,
            [this](const QString& message) { SetStatusText(message, 1); });
    connect(m_search, &FullTextSearch::failed, this,
            [this](const QString& message) { SetStatusText(message, 1); });
    connect(m_search, &FullTextSearch::progress, this, [this](int done, int total) {
        m_progress = {done, total};
    });

    action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    // Also the window's own: the key works while the menu bar is hidden.
    window.addAction(action);
    connect(action, &QAction::triggered, this, &FullTextCommand::open);
}

void FullTextCommand::refresh() {
    m_search->refresh();
}

void FullTextCommand::open() {
    if (!m_dialog) {
        m_dialog = new frmFullText([this](const QString& text) { m_search->ask(text); }, &m_window);
        connect(m_search, &FullTextSearch::answered, m_dialog, &frmFullText::showAnswer);
        connect(m_search, &FullTextSearch::progress, m_dialog, &frmFullText::showProgress);
        connect(m_search, &FullTextSearch::indexed, m_dialog,
                [this] { m_dialog->showIndexed(m_search->cutApplications()); });
        connect(m_search, &FullTextSearch::failed, m_dialog, &frmFullText::showFailed);
        connect(m_dialog, &frmFullText::selectRequested, this, &FullTextCommand::selectRequested);
        connect(m_dialog, &frmFullText::runRequested, this, &FullTextCommand::runRequested);
        // Opened during a build, it says at once how far the build is; after one, what it cut.
        if (m_search->isIndexing())
            m_dialog->showProgress(m_progress.first, m_progress.second);
        else
            m_dialog->showIndexed(m_search->cutApplications());
    }
    m_dialog->bringUp();
}

} // namespace vadok

#include "support/modaldriver.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

namespace vadok::test {

ModalDriver::ModalDriver() { qApp->installEventFilter(this); }

ModalDriver::~ModalDriver() {
    qApp->removeEventFilter(this);
    if (!m_steps.empty())
        ADD_FAILURE() << m_steps.size() << " dialog step(s) never played";
}

ModalDriver& ModalDriver::then(Step step) {
    m_steps.push_back(std::move(step));
    return *this;
}

bool ModalDriver::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog && dialog->isModal()) {
            const int showing = ++m_shown;
            QPointer<QDialog> guard(dialog);
            QTimer::singleShot(0, this, [this, guard, showing] {
                if (guard)
                    play(guard, showing);
            });
        }
    }
    return QObject::eventFilter(watched, event);
}

void ModalDriver::play(QDialog* dialog, int showing) {
    QPointer<QDialog> guard(dialog);
    QTimer::singleShot(10000, this, [this, guard, showing] {
        if (guard && guard->isVisible() && m_shown == showing) {
            ADD_FAILURE() << "dialog " << guard->objectName().toStdString() << " left open";
            guard->reject();
        }
    });
    if (m_steps.empty()) {
        ADD_FAILURE() << "unexpected dialog " << dialog->objectName().toStdString();
        dialog->reject();
        return;
    }
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    step(*dialog);
}

} // namespace vadok::test

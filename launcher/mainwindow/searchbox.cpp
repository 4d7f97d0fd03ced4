#include "mainwindow/searchbox.h"

#include <QKeyEvent>

namespace vadok {

SearchBox::SearchBox(QWidget* parent) : QLineEdit(parent) {}

void SearchBox::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The keypad's Enter carries the keypad flag; only Shift, Ctrl and Alt count.
        emit enterPressed(event->modifiers() &
                          (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
        break;
    case Qt::Key_Up:
        emit upPressed();
        break;
    case Qt::Key_Down:
        emit downPressed();
        break;
    default:
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace vadok

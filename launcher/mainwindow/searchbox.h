#pragma once

#include <QLineEdit>

namespace vadok {

// The one-line search box. Enter, Up and Down never reach the text: they are reported, with
// the modifiers held on Enter, for the window to move through and run the hits.
class SearchBox : public QLineEdit {
    Q_OBJECT
public:
    explicit SearchBox(QWidget* parent = nullptr);

signals:
    void enterPressed(Qt::KeyboardModifiers modifiers);
    void upPressed();
    void downPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace vadok

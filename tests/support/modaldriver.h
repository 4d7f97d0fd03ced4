#pragma once

#include <QObject>
#include <QPushButton>
#include <gtest/gtest.h>
#include <deque>
#include <functional>

class QDialog;

namespace vadok::test {

// Plays the user in modal dialogs: every time a dialog is shown modally (a dialog shown
// again counts anew), the next step gets it, once its event loop runs. Each step must end
// the showing (a button, accept, reject). A dialog shown with no step left, or one a step
// left open for ten seconds, fails the test and is rejected; so does a step never used.
class ModalDriver : public QObject {
public:
    using Step = std::function<void(QDialog&)>;
    ModalDriver();
    ~ModalDriver() override;

    ModalDriver& then(Step step);
    int shown() const { return m_shown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void play(QDialog* dialog, int showing);

    std::deque<Step> m_steps;
    int m_shown = 0;
};

// The child widget of dialog called name, cast to W; fails the test when there is none.
template <typename W>
W* control(QObject& dialog, const char* name) {
    W* widget = dialog.findChild<W*>(QString::fromUtf8(name));
    if (!widget)
        ADD_FAILURE() << "no control " << name;
    return widget;
}

inline void press(QObject& dialog, const char* button) { control<QPushButton>(dialog, button)->click(); }
inline bool enabled(QObject& dialog, const char* button) {
    return control<QPushButton>(dialog, button)->isEnabled();
}

} // namespace vadok::test

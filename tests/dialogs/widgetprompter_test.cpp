#include "dialogs/widgetprompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace vadok {
namespace {

struct ButtonCase {
    MsgButtons buttons;
    QMessageBox::StandardButton pressed;
    MsgAnswer answer;
};

class WidgetPrompterAnswers : public ::testing::TestWithParam<ButtonCase> {};

// The answer a command acts on must be the button the user pressed.
TEST_P(WidgetPrompterAnswers, areTheButtonThatWasPressed) {
    const ButtonCase c = GetParam();
    QTimer::singleShot(0, [&c] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        box->button(c.pressed)->click();
    });
    WidgetPrompter prompter;
    EXPECT_EQ(prompter.message({QStringLiteral("?"), QStringLiteral("t"), MsgIcon::Question, c.buttons}),
              c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, WidgetPrompterAnswers,
    ::testing::Values(ButtonCase{MsgButtons::Ok, QMessageBox::Ok, MsgAnswer::Ok},
                      ButtonCase{MsgButtons::OkCancel, QMessageBox::Ok, MsgAnswer::Ok},
                      ButtonCase{MsgButtons::OkCancel, QMessageBox::Cancel, MsgAnswer::Cancel},
                      ButtonCase{MsgButtons::YesNo, QMessageBox::Yes, MsgAnswer::Yes},
                      ButtonCase{MsgButtons::YesNo, QMessageBox::No, MsgAnswer::No},
                      ButtonCase{MsgButtons::YesNoCancel, QMessageBox::Cancel, MsgAnswer::Cancel}));

} // namespace
} // namespace vadok

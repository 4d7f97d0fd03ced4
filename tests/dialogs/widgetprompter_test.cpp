#include "dialogs/widgetprompter.h"

#include "support/modaldriver.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace vadok::test {
namespace {

// NoButton stands for Enter, which presses the default button.
TEST(WidgetPrompter, theButtonPressedIsTheAnswerAndEnterPressesTheDefault) {
    const struct {
        MsgButtons buttons;
        QMessageBox::StandardButton pressed;
        MsgAnswer answer;
        std::optional<MsgAnswer> byDefault = std::nullopt;
    } cases[] = {
        {MsgButtons::Ok, QMessageBox::Ok, MsgAnswer::Ok},
        {MsgButtons::OkCancel, QMessageBox::Ok, MsgAnswer::Ok},
        {MsgButtons::OkCancel, QMessageBox::Cancel, MsgAnswer::Cancel},
        {MsgButtons::YesNo, QMessageBox::Yes, MsgAnswer::Yes},
        {MsgButtons::YesNo, QMessageBox::No, MsgAnswer::No},
        {MsgButtons::YesNoCancel, QMessageBox::Cancel, MsgAnswer::Cancel},
        {MsgButtons::YesNo, QMessageBox::NoButton, MsgAnswer::No, MsgAnswer::No},
        {MsgButtons::YesNoCancel, QMessageBox::NoButton, MsgAnswer::No, MsgAnswer::No},
        {MsgButtons::OkCancel, QMessageBox::NoButton, MsgAnswer::Cancel, MsgAnswer::Cancel},
        {MsgButtons::YesNo, QMessageBox::Yes, MsgAnswer::Yes, MsgAnswer::No},
    };
    WidgetPrompter prompter;
    ModalDriver driver;
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.pressed));
        driver.then([&c](QDialog& box) {
            if (c.pressed == QMessageBox::NoButton)
                QTest::keyClick(&box, Qt::Key_Return);
            else
                static_cast<QMessageBox&>(box).button(c.pressed)->click();
        });
        EXPECT_EQ(prompter.message({QStringLiteral("?"), QStringLiteral("t"), MsgIcon::Question,
                                    c.buttons, c.byDefault}),
                  c.answer);
    }
}

// Before the window's prompter is in place nothing can be asked: a question that deletes
// keeps what it would delete.
TEST(SilentPrompter, answersTheDefaultAndDeletesNothing) {
    setPrompter(nullptr);
    EXPECT_EQ(askBeforeDeleting(QStringLiteral("?"), MsgIcon::Question, MsgButtons::YesNo),
              MsgAnswer::No);
    EXPECT_EQ(askBeforeDeleting(QStringLiteral("?"), MsgIcon::Question, MsgButtons::OkCancel),
              MsgAnswer::Cancel);
    EXPECT_EQ(showMessage(QStringLiteral("?"), MsgIcon::Question, MsgButtons::YesNo),
              MsgAnswer::Yes);
}

} // namespace
} // namespace vadok::test

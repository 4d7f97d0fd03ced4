#include "dialogs/widgetprompter.h"

#include "support/modaldriver.h"

#include <QMessageBox>
#include <QPushButton>

namespace vadok::test {
namespace {

TEST(WidgetPrompter, theButtonPressedIsTheAnswer) {
    const struct {
        MsgButtons buttons;
        QMessageBox::StandardButton pressed;
        MsgAnswer answer;
    } cases[] = {
        {MsgButtons::Ok, QMessageBox::Ok, MsgAnswer::Ok},
        {MsgButtons::OkCancel, QMessageBox::Ok, MsgAnswer::Ok},
        {MsgButtons::OkCancel, QMessageBox::Cancel, MsgAnswer::Cancel},
        {MsgButtons::YesNo, QMessageBox::Yes, MsgAnswer::Yes},
        {MsgButtons::YesNo, QMessageBox::No, MsgAnswer::No},
        {MsgButtons::YesNoCancel, QMessageBox::Cancel, MsgAnswer::Cancel},
    };
    WidgetPrompter prompter;
    ModalDriver driver;
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.pressed));
        driver.then([&c](QDialog& box) {
            static_cast<QMessageBox&>(box).button(c.pressed)->click();
        });
        EXPECT_EQ(prompter.message({QStringLiteral("?"), QStringLiteral("t"), MsgIcon::Question, c.buttons}),
                  c.answer);
    }
}

} // namespace
} // namespace vadok::test

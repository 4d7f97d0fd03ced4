#include "shell/statemark.h"

#include <QPixmap>
#include <gtest/gtest.h>

namespace vadok {
namespace {

TEST(ExpandedMark, coversTheLowerRightCornerAndLeavesTheRestOfTheIcon) {
    QPixmap blue(32, 32);
    blue.fill(Qt::blue);
    const QIcon marked = withExpandedMark(QIcon(blue));
    for (const int side : {16, 32}) {
        const QImage image = marked.pixmap(side, side).toImage();
        ASSERT_EQ(image.width(), side);
        EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::blue)) << side;
        const QColor corner = image.pixelColor(side * 3 / 4, side * 7 / 8);
        EXPECT_GT(corner.green(), corner.blue()) << side;
    }
}

} // namespace
} // namespace vadok

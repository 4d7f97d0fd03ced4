#include "shell/dlgiconget.h"
#include "shell/fileicons.h"
#include "shell/icongrid.h"

#include "iconfixtures.h"
#include "support/qtprinters.h"
#include "support/scriptedchooser.h"
#include "support/scriptedprompter.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace vadok::test {
namespace {

using namespace IconGrid;

TEST(IconGrid, cellsStandInColumnsOfFourWithTheIconCentred) {
    const std::vector<std::tuple<int, QRect, QRect>> cases = {
        {0, {0, 0, 40, 40}, {4, 4, 32, 32}},
        {3, {0, 120, 40, 40}, {4, 124, 32, 32}},
        {4, {40, 0, 40, 40}, {44, 4, 32, 32}}, // the fifth opens a second column
        {11, {80, 120, 40, 40}, {84, 124, 32, 32}},
        {-1, {-40, -40, 0, 0}, {-40, -40, 0, 0}},
    };
    for (const auto& [index, cell, icon] : cases) {
        EXPECT_EQ(CellRect(index), cell) << index;
        EXPECT_EQ(IconRect(index), icon) << index;
    }
    EXPECT_EQ(StripWidth(4), 40);
    EXPECT_EQ(StripWidth(5), 80);
    EXPECT_EQ(StripWidth(12), 120);
}

TEST(IconGrid, hitTestCountsPointsBelowAsTheLastRowAndNothingBesideTheLastIcon) {
    const std::vector<std::tuple<QPoint, int, int>> cases = {
        {{85, 130}, 12, 11},
        {{85, 130}, 11, -1},
        {{5, 170}, 4, 3}, // y 170 counts as 159
        {{39, 39}, 1, 0},
        {{40, 0}, 5, 4},
        {{45, 45}, 5, -1}, // beside the fifth, the only icon of its column
        {{-1, 5}, 4, -1},
        {{5, -1}, 8, -1},
    };
    for (const auto& [point, count, expected] : cases)
        EXPECT_EQ(HitTest(point.x(), point.y(), count), expected) << point.x() << "," << point.y();
}

class IconPicker : public ::testing::Test {
protected:
    std::unique_ptr<dlgIconGet> open(const QString& file, int index) {
        auto picker = std::make_unique<dlgIconGet>();
        picker->setFileName(file);
        picker->setIconIndex(index);
        picker->show();
        return picker;
    }
    template <typename T> static T* child(const dlgIconGet& picker, const char* name) {
        T* widget = picker.findChild<T*>(QString::fromUtf8(name));
        EXPECT_TRUE(widget) << name;
        return widget;
    }
    // A click where the user sees point of the icon view, reaching whichever widget is there.
    static void clickView(const dlgIconGet& picker, const QPoint& point) {
        QWidget* view = child<QWidget>(picker, "picContainer");
        QWidget* target = view->childAt(point);
        if (!target)
            target = view;
        QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(view, point));
    }
    static void click(const dlgIconGet& picker, const char* button) {
        QTest::mouseClick(child<QPushButton>(picker, button), Qt::LeftButton);
    }
    static QImage strip(const dlgIconGet& picker) {
        return child<QWidget>(picker, "picIcon")->grab().toImage().convertToFormat(
            QImage::Format_ARGB32);
    }
    // The cells of a strip whose corner shows the highlight colour.
    static std::vector<int> highlighted(const dlgIconGet& picker) {
        const QImage image = strip(picker);
        const QRgb highlight =
            child<QWidget>(picker, "picIcon")->palette().color(QPalette::Highlight).rgb();
        std::vector<int> cells;
        for (int i = 0; i < picker.IconCount(); ++i) {
            if (image.pixel(CellRect(i).topLeft()) == highlight)
                cells.push_back(i);
        }
        return cells;
    }

    ScriptedPrompter prompter;
    ScriptedChooser files;
};

std::vector<QString> colours(int count) {
    std::vector<QString> pictures;
    for (int i = 1; i <= count; ++i)
        pictures.push_back(QStringLiteral("c%1.png").arg(i));
    return pictures;
}

TEST_F(IconPicker, stripsOfFourFiveAndTwelveIconsDrawEachInItsCell) {
    const std::vector<std::tuple<const char*, std::vector<QString>, int>> cases = {
        {"groups64.exe", {u"r16.png"_qs, u"q32.png"_qs, u"q32.png"_qs, u"p32.png"_qs}, 40},
        {"five64.exe", colours(5), 80},
        {"twelve64.exe", colours(12), 120},
    };
    for (const auto& [file, pictures, width] : cases) {
        SCOPED_TRACE(file);
        auto picker = open(iconFixture(QString::fromUtf8(file)), 2);
        EXPECT_EQ(picker->IconCount(), int(pictures.size()));
        EXPECT_EQ(child<QLineEdit>(*picker, "txtFileName")->text(), picker->FileName());
        EXPECT_EQ(child<QWidget>(*picker, "picIcon")->width(), width);
        EXPECT_FALSE(child<QScrollBar>(*picker, "hscIcon")->isEnabled());
        const QImage drawn = strip(*picker);
        for (int i = 0; i < int(pictures.size()); ++i) {
            // The fixtures are blocks of one colour at least 16 pixels wide.
            EXPECT_EQ(drawn.pixel(IconRect(i).topLeft() + QPoint(1, 1)),
                      fixturePicture(pictures[size_t(i)]).pixel(1, 1))
                << i;
        }
        EXPECT_EQ(highlighted(*picker), std::vector<int>{2});
    }
}

TEST_F(IconPicker, clickAt85And130SelectsTheTwelfthIconOrNothing) {
    for (const auto& [file, expected] : {std::pair{"twelve64.exe", 11}, {"five64.exe", 1}}) {
        SCOPED_TRACE(file);
        auto picker = open(iconFixture(QString::fromUtf8(file)), 1);
        clickView(*picker, {85, 130});
        EXPECT_EQ(picker->IconIndex(), expected);
        EXPECT_EQ(highlighted(*picker), std::vector<int>{expected});
    }
}

TEST_F(IconPicker, cancelReturnsWhatTheCallerPassedAfterAnotherIconAndFile) {
    const QString first = iconFixture(u"groups64.exe"_qs);
    const QString second = iconFixture(u"twelve64.exe"_qs);
    auto picker = open(first, 1);
    clickView(*picker, {5, 85});
    EXPECT_EQ(picker->IconIndex(), 2);

    files.expectFile(std::nullopt).expectFile(second);
    click(*picker, "cmdFile"); // cancelled: nothing changes
    EXPECT_EQ(picker->IconCount(), 4);
    EXPECT_EQ(picker->IconIndex(), 2);
    click(*picker, "cmdFile");
    EXPECT_EQ(files.fileRequests().at(0).initialName, first);
    EXPECT_TRUE(files.fileRequests().at(0).filters.isEmpty()) << "every file is offered";
    EXPECT_TRUE(picker->isEnabled());
    EXPECT_EQ(picker->IconCount(), 12);
    EXPECT_EQ(picker->FileName(), second);
    EXPECT_EQ(child<QLineEdit>(*picker, "txtFileName")->text(), second);
    EXPECT_EQ(picker->IconIndex(), 0);
    clickView(*picker, {85, 130});

    click(*picker, "cmdCancel");
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(picker->result(), QDialog::Rejected);
    EXPECT_EQ(picker->FileName(), first);
    EXPECT_EQ(picker->IconIndex(), 1);
}

TEST_F(IconPicker, okOnATypedPathLoadsItFirstAndClosesOnlyOnTheNextOk) {
    const QString first = iconFixture(u"groups64.exe"_qs);
    auto picker = open(first, 3);
    auto* name = child<QLineEdit>(*picker, "txtFileName");

    name->setText(iconFixture(u"notpe.txt"_qs));
    prompter.expect(u"ファイルにアイコンが含まれていません。"_qs);
    click(*picker, "cmdOK");
    EXPECT_EQ(prompter.messages().at(0).title, u"アイコンを開く"_qs);
    EXPECT_TRUE(picker->isVisible());
    EXPECT_EQ(picker->FileName(), first);
    EXPECT_EQ(picker->IconCount(), 4);
    EXPECT_EQ(highlighted(*picker), std::vector<int>{3}) << "the strip stays";

    const QString second = iconFixture(u"five64.exe"_qs);
    name->setText(second);
    click(*picker, "cmdOK");
    EXPECT_TRUE(picker->isVisible());
    EXPECT_EQ(picker->FileName(), second);
    EXPECT_EQ(picker->IconCount(), 5);
    EXPECT_EQ(picker->IconIndex(), 0);

    click(*picker, "cmdOK");
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(picker->result(), QDialog::Accepted);
    EXPECT_EQ(picker->FileName(), second);
}

TEST_F(IconPicker, aStripWiderThanTheViewScrollsAndClicksFollowIt) {
    auto picker = open(iconFixture(u"forty64.exe"_qs), 0);
    auto* scroll = child<QScrollBar>(*picker, "hscIcon");
    const int view = child<QWidget>(*picker, "picContainer")->width();
    ASSERT_LT(view, 400) << "forty icons are ten columns";
    EXPECT_TRUE(scroll->isEnabled());
    EXPECT_EQ(scroll->maximum(), 400 - 1 - view);
    EXPECT_EQ(scroll->focusPolicy(), Qt::NoFocus);

    scroll->setValue(scroll->maximum());
    EXPECT_EQ(child<QWidget>(*picker, "picIcon")->x(), -79);
    clickView(*picker, {6, 45});
    EXPECT_EQ(picker->IconIndex(), 9) << "third column, second row";
}

// The whole way of an icon chosen from a program: picked with a double click in the modal
// picker, then written as the icon file from the same reader.
TEST_F(IconPicker, iconChosenFromARealProgramIsWrittenWithAllItsImages) {
    dlgIconGet picker;
    picker.setFileName(iconFixture(u"groups64.exe"_qs));
    picker.setIconIndex(0);
    QTimer::singleShot(0, &picker, [&] {
        QWidget* strip = child<QWidget>(picker, "picIcon");
        QTest::mouseClick(strip, Qt::LeftButton, {}, {5, 85});
        QTest::mouseDClick(strip, Qt::LeftButton, {}, {5, 85});
    });
    picker.ShowOpen();
    ASSERT_EQ(picker.result(), QDialog::Accepted);
    ASSERT_EQ(picker.IconIndex(), 2);

    QTemporaryDir dir;
    const QString target = dir.filePath(u"_temp.ico"_qs);
    ASSERT_TRUE(FileIcons(picker.FileName()).writeIcoFile(picker.IconIndex(), target));
    const FileIcons written(target);
    EXPECT_EQ(argb(written.picture(0, 16)), fixturePicture(u"r16.png"_qs));
    EXPECT_EQ(argb(written.picture(0, 32)), fixturePicture(u"q32.png"_qs));
}

} // namespace
} // namespace vadok::test

#include "shell/versiontext.h"
#include "shell/windowlayout.h"

#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace vadok::test {
namespace {

bool noNegativeSize(const WindowLayout& l) {
    for (const QRect& r : {l.tree, l.searchBox, l.searchList, l.splitter, l.info}) {
        if (r.width() < 0 || r.height() < 0)
            return false;
    }
    return true;
}

TEST(InfoPanelLayout, threeEqualButtonsFillTheWidthWithTwoGapsOf15) {
    InfoPanelInput in;
    in.panel = QSize(3030, 4000);
    in.buttonHeight = 450;
    in.titleHeight = 300;
    const InfoPanelLayout wide = infoPanelLayout(in);
    EXPECT_EQ(wide.pack, QRect(0, 3550, 1000, 450));
    EXPECT_EQ(wide.edit, QRect(1015, 3550, 1000, 450));
    EXPECT_EQ(wide.exec, QRect(2030, 3550, 1000, 450));
    EXPECT_EQ(wide.notes, QRect(0, 1035, 3030, 4000 - 1035 - 450 - 45));
    EXPECT_EQ(wide.title, QRect(1035, 0, 3030 - 1035, 300));

    in.narrow = true;
    in.commandButtons = true;
    const InfoPanelLayout narrow = infoPanelLayout(in);
    EXPECT_EQ(narrow.edit, QRect(1015, 0, 1000, 450));
    EXPECT_EQ(narrow.notes, QRect(0, 480, 3030, 4000 - 480));
    in.commandButtons = false;
    EXPECT_FALSE(infoPanelLayout(in).buttonsShown);
    EXPECT_EQ(infoPanelLayout(in).notes, QRect(0, 0, 3030, 4000));

    in.narrow = false;
    in.panel = QSize(10, 10);
    const InfoPanelLayout tiny = infoPanelLayout(in);
    for (const QRect& r : {tiny.pack, tiny.notes, tiny.title})
        EXPECT_TRUE(r.width() >= 0 && r.height() >= 0) << ::testing::PrintToString(r);
}

TEST(WindowLayout, wideDisplayPutsTreeBarAndPanelSideBySide) {
    WindowLayoutInput in;
    in.client = QSize(7500, 5000);
    in.searchBoxHeight = 300;
    in.splitterLeft = 2000;
    WindowLayout l = wideLayout(in);
    EXPECT_EQ(l.tree, QRect(0, 0, 2000, 5000));
    EXPECT_EQ(l.splitter, QRect(2000, 0, 60, 5000));
    EXPECT_EQ(l.info, QRect(2060, 0, 5440, 5000));
    EXPECT_EQ(l.searchBox, QRect(0, 0, 2000, 300));
    EXPECT_EQ(l.searchList, QRect(0, 300, 2000, 4700)); // under the box in search mode

    in.searchBoxAlways = true;
    l = wideLayout(in);
    EXPECT_EQ(l.tree, QRect(0, 330, 2000, 4670));
    EXPECT_EQ(l.searchList, l.tree);
}

TEST(WindowLayout, narrowDisplayStacksTreeBarAndPanelAndThePanelKeepsItsHeight) {
    WindowLayoutInput in;
    in.client = QSize(3000, 5000);
    in.searchBoxHeight = 300;
    in.splitterTop = 3500;
    WindowLayout l = narrowLayout(in);
    EXPECT_EQ(l.tree, QRect(0, 15, 3000, 3485));
    EXPECT_EQ(l.splitter, QRect(0, 3500, 3000, 60));
    EXPECT_EQ(l.info, QRect(0, 3560, 3000, 1440));

    // A taller window gives the tree the room; the panel stays as tall as it was.
    in.infoHeight = 1440;
    in.client = QSize(3000, 6000);
    l = narrowLayout(in);
    EXPECT_EQ(l.splitter.top(), 4500);
    EXPECT_EQ(l.info.height(), 1440);

    in.hideInfo = true;
    in.searchBoxAlways = true;
    l = narrowLayout(in);
    EXPECT_FALSE(l.infoShown);
    EXPECT_EQ(l.searchBox, QRect(0, 30, 3000, 300));
    EXPECT_EQ(l.tree, QRect(0, 330, 3000, 5670));
}

TEST(WindowLayout, noSizeGoesBelowZeroWhereverTheSplitterWasLeft) {
    for (const QSize client : {QSize(0, 0), QSize(40, 40), QSize(3000, 5000)}) {
        for (int splitter : {-5000, 0, 100, 2999, 100000}) {
            WindowLayoutInput in;
            in.client = client;
            in.searchBoxHeight = 300;
            in.splitterLeft = splitter;
            in.splitterTop = splitter;
            in.searchBoxAlways = splitter % 2 == 0;
            const WindowLayout wide = wideLayout(in);
            const std::string where = ::testing::PrintToString(client) + " " + std::to_string(splitter);
            EXPECT_TRUE(noNegativeSize(wide)) << where;
            EXPECT_LE(wide.splitter.right() + 1, std::max(client.width(), kSplitterThickness));
            for (int infoHeight : {-1, 0, 1000, 100000}) {
                in.infoHeight = infoHeight;
                const WindowLayout narrow = narrowLayout(in);
                EXPECT_TRUE(noNegativeSize(narrow)) << where << " " << infoHeight;
                EXPECT_GE(narrow.splitter.top(), 0);
            }
        }
    }
}

TEST(VersionText, namesTheRevisionOnlyWhenThereIsOne) {
    EXPECT_EQ(versionText(1, 9, 6), QStringLiteral("Vadok 1.9.6"));
    EXPECT_EQ(versionText(1, 9, 0), QStringLiteral("Vadok 1.9"));
}

} // namespace
} // namespace vadok::test

#pragma once

#include <QRect>
#include <QSize>

namespace vadok {

// Where the parts of the main window go in its two displays. Everything is in twips and
// relative to the window's client area, the part between the menus and the status bar; the
// window converts to pixels. No computed width or height is ever below zero, however small
// the window or wherever the splitter was left.
//
// Wide display: tree | splitter bar | information panel, side by side.
// Narrow display: tree, then the splitter bar, then the information panel, stacked; the panel
// keeps its height when the window changes size and the tree takes what is left.

inline constexpr int kSplitterThickness = 60;
// The gap between the search box and the tree below it.
inline constexpr int kSearchBoxGap = 30;
// The narrow display leaves this much above the tree when the search box is not shown.
inline constexpr int kNarrowTreeTop = 15;
inline constexpr int kNarrowSearchBoxTop = 30;

struct WindowLayoutInput {
    QSize client;
    int searchBoxHeight = 0;
    bool searchBoxAlways = false; // DispSearchTextBoxAnyTime
    int splitterLeft = 0;         // wide: LR
    int splitterTop = 0;          // narrow: posUD, used while infoHeight is unknown
    int infoHeight = -1;          // narrow: the panel's height; -1 until first laid out
    bool hideInfo = false;        // narrow: DispInfoNarrow
};

struct WindowLayout {
    QRect tree;
    QRect searchBox;
    // Covers the tree: under the box in search mode, or in the tree's place when the box is
    // always shown.
    QRect searchList;
    QRect splitter;
    QRect info;
    bool infoShown = true; // the panel and the splitter bar
};

WindowLayout wideLayout(const WindowLayoutInput& in);
WindowLayout narrowLayout(const WindowLayoutInput& in);

// Where a dragged splitter bar may stop: left edge (wide) or top edge (narrow) of the bar.
int wideSplitterLimit(const QSize& client);
int clampWideSplitter(int left, const QSize& client);
int clampNarrowSplitter(int top, const QSize& client, int treeTop);
int narrowTreeTop(int searchBoxHeight, bool searchBoxAlways);

// The information panel: big icon and title on top (wide only), the notes, and the row of the
// three command buttons, at the bottom in wide display and on top in narrow display (where it
// is shown only when DispCmdButtons is 1).
inline constexpr int kNotesTopWide = 1035;
inline constexpr int kNotesTopUnderButtons = 480;
inline constexpr int kButtonGap = 15;
inline constexpr int kNotesGapAboveButtons = 45;

struct InfoPanelInput {
    QSize panel;
    int buttonHeight = 0;
    int titleHeight = 0;
    bool narrow = false;
    bool commandButtons = false; // narrow: DispCmdButtons is 1
};

struct InfoPanelLayout {
    QRect title;
    QRect notes;
    QRect pack, edit, exec;
    bool buttonsShown = true;
};

InfoPanelLayout infoPanelLayout(const InfoPanelInput& in);

} // namespace vadok

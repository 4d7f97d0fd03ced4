#include "shell/windowlayout.h"

#include <algorithm>
#include <cmath>

namespace vadok {

namespace {

int atLeastZero(int value) {
    return std::max(value, 0);
}

QRect box(int left, int top, int width, int height) {
    return QRect(left, top, atLeastZero(width), atLeastZero(height));
}

} // namespace

int wideSplitterLimit(const QSize& client) {
    return atLeastZero(client.width() - kSplitterThickness);
}

int clampWideSplitter(int left, const QSize& client) {
    return std::clamp(left, 0, wideSplitterLimit(client));
}

int clampNarrowSplitter(int top, const QSize& client, int treeTop) {
    const int lowest = atLeastZero(client.height() - kSplitterThickness);
    return std::clamp(top, std::min(treeTop, lowest), lowest);
}

int narrowTreeTop(int searchBoxHeight, bool searchBoxAlways) {
    return searchBoxAlways ? searchBoxHeight + kSearchBoxGap : kNarrowTreeTop;
}

WindowLayout wideLayout(const WindowLayoutInput& in) {
    const int w = in.client.width();
    const int h = in.client.height();
    const int left = clampWideSplitter(in.splitterLeft, in.client);
    const int treeTop = in.searchBoxAlways ? in.searchBoxHeight + kSearchBoxGap : 0;

    WindowLayout out;
    out.searchBox = box(0, 0, left, in.searchBoxHeight);
    out.tree = box(0, treeTop, left, h - treeTop);
    out.searchList = in.searchBoxAlways ? out.tree
                                        : box(0, in.searchBoxHeight, left, h - in.searchBoxHeight);
    out.splitter = box(left, 0, kSplitterThickness, h);
    out.info = box(left + kSplitterThickness, 0, w - left - kSplitterThickness, h);
    return out;
}

WindowLayout narrowLayout(const WindowLayoutInput& in) {
    const int w = in.client.width();
    const int h = in.client.height();
    const int treeTop = narrowTreeTop(in.searchBoxHeight, in.searchBoxAlways);

    WindowLayout out;
    out.searchBox = box(0, in.searchBoxAlways ? kNarrowSearchBoxTop : 0, w, in.searchBoxHeight);
    int treeBottom = h;
    if (in.hideInfo) {
        out.infoShown = false;
    } else {
        // The panel keeps its height; the bar sits on it and the tree takes the rest, down to
        // nothing before the panel gives way.
        const int wantedTop = in.infoHeight < 0 ? in.splitterTop
                                                : h - kSplitterThickness - in.infoHeight;
        const int barTop = clampNarrowSplitter(wantedTop, in.client, treeTop);
        out.splitter = box(0, barTop, w, kSplitterThickness);
        out.info = box(0, barTop + kSplitterThickness, w, h - barTop - kSplitterThickness);
        treeBottom = barTop;
    }
    out.tree = box(0, treeTop, w, treeBottom - treeTop);
    const int listTop = in.searchBoxAlways ? treeTop : out.searchBox.bottom() + 1;
    out.searchList = box(0, listTop, w, treeBottom - listTop);
    return out;
}

InfoPanelLayout infoPanelLayout(const InfoPanelInput& in) {
    const int w = in.panel.width();
    const int h = in.panel.height();
    InfoPanelLayout out;
    // Three equal buttons and two gaps of 15 fill the width: 3030 gives 1000, at 0, 1015, 2030.
    const int buttonW = atLeastZero(int(std::lround((w - 2 * kButtonGap) / 3.0)));
    auto placeButtons = [&](int top) {
        out.pack = box(0, top, buttonW, in.buttonHeight);
        out.edit = box(buttonW + kButtonGap, top, buttonW, in.buttonHeight);
        out.exec = box(2 * buttonW + 2 * kButtonGap, top, buttonW, in.buttonHeight);
    };
    if (in.narrow) {
        out.buttonsShown = in.commandButtons;
        const int notesTop = in.commandButtons ? kNotesTopUnderButtons : 0;
        out.notes = box(0, notesTop, w, h - notesTop);
        placeButtons(0);
        return out;
    }
    out.title = box(kNotesTopWide, 0, w - kNotesTopWide, in.titleHeight);
    out.notes = box(0, kNotesTopWide, w, h - kNotesTopWide - in.buttonHeight - kNotesGapAboveButtons);
    placeButtons(atLeastZero(h - in.buttonHeight));
    return out;
}

} // namespace vadok

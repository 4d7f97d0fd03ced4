#pragma once

#include <QRect>

namespace vadok::IconGrid {

// The icon picker's strip, in pixels: icons stand in columns of four, top to bottom, the
// columns left to right; each has a 40-pixel square cell with the 32-pixel icon centred in it.
inline constexpr int kCell = 40;
inline constexpr int kRows = 4;
inline constexpr int kIcon = 32;
inline constexpr int kStripHeight = kRows * kCell;

// The cell of icon index; off the strip (left and top -40, no size) for a negative index.
QRect CellRect(int index);
// The icon's square inside its cell.
QRect IconRect(int index);

// The icon of a strip of count icons under the point (x, y): points below the last row count
// as in it. -1 where the strip holds no icon, as beside the last one.
int HitTest(int x, int y, int count);

// The width of a strip holding count icons (at least one).
int StripWidth(int count);

} // namespace vadok::IconGrid

#include "shell/icongrid.h"

#include <algorithm>

namespace vadok::IconGrid {

QRect CellRect(int index) {
    if (index < 0)
        return QRect(-kCell, -kCell, 0, 0);
    return QRect(index / kRows * kCell, index % kRows * kCell, kCell, kCell);
}

QRect IconRect(int index) {
    if (index < 0)
        return QRect(-kCell, -kCell, 0, 0);
    const int margin = (kCell - kIcon) / 2;
    return CellRect(index).adjusted(margin, margin, -margin, -margin);
}

int HitTest(int x, int y, int count) {
    // A point above or left of the strip is on no cell; one below the strip is in the last row.
    if (x < 0 || y < 0)
        return -1;
    const int index = x / kCell * kRows + std::min(y, kStripHeight - 1) / kCell;
    return index < count ? index : -1;
}

int StripWidth(int count) { return CellRect(std::max(count, 1) - 1).left() + kCell; }

} // namespace vadok::IconGrid

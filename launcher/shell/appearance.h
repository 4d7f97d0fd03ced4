#pragma once

#include "catalog/settings.h"

#include <QColor>
#include <QFont>
#include <QPalette>

namespace vadok {

// A stored colour: non-negative values are 0x00BBGGRR; negative ones (0x800000nn) name a
// system colour, taken from palette.
QColor oleColor(qint32 value, const QPalette& palette);

// The stored form of a colour chosen by the user: 0x00BBGGRR.
qint32 oleColorValue(const QColor& color);

// A stored font; sizes are points.
QFont fontFromRecord(const FontRecord& record);
FontRecord fontRecord(const QFont& font);

// Twips are 1/1440 inch: 15 per pixel at 96 logical dots per inch.
int twipsToPixels(int twips, double logicalDpi);
int pixelsToTwips(int pixels, double logicalDpi);

} // namespace vadok

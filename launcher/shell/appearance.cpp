#include "shell/appearance.h"

#include <cmath>

namespace vadok {

namespace {

// The system colour indexes a stored colour may name, as palette roles.
QColor systemColor(int index, const QPalette& palette) {
    switch (index) {
    case 0x05:
        return palette.color(QPalette::Base); // window
    case 0x06:
        return palette.color(QPalette::Shadow); // window frame
    case 0x08:
        return palette.color(QPalette::Text); // window text
    case 0x0D:
        return palette.color(QPalette::Highlight); // highlight
    case 0x0E:
        return palette.color(QPalette::HighlightedText); // highlight text
    case 0x0F:
        return palette.color(QPalette::Button); // button face
    case 0x10:
        return palette.color(QPalette::Dark); // button shadow
    case 0x11:
        return palette.color(QPalette::Disabled, QPalette::Text); // grey text
    case 0x12:
        return palette.color(QPalette::ButtonText); // button text
    case 0x14:
        return palette.color(QPalette::Light); // button highlight
    case 0x17:
        return palette.color(QPalette::ToolTipText); // info text
    case 0x18:
        return palette.color(QPalette::ToolTipBase); // info background
    default:
        return palette.color(QPalette::Window);
    }
}

} // namespace

QColor oleColor(qint32 value, const QPalette& palette) {
    if (value < 0)
        return systemColor(int(quint32(value) & 0xFF), palette);
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

qint32 oleColorValue(const QColor& color) {
    const QColor rgb = color.toRgb();
    return qint32(rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16));
}

FontRecord fontRecord(const QFont& font) {
    FontRecord record;
    record.Name = font.family();
    record.Size = font.pointSizeF() > 0 ? font.pointSizeF() : record.Size;
    record.Bold = font.bold();
    record.Ital = font.italic();
    return record;
}

QFont fontFromRecord(const FontRecord& record) {
    QFont font(record.Name);
    if (record.Size > 0)
        font.setPointSizeF(record.Size);
    font.setBold(record.Bold);
    font.setItalic(record.Ital);
    return font;
}

int twipsToPixels(int twips, double logicalDpi) {
    return int(std::lround(double(twips) * logicalDpi / 1440.0));
}

int pixelsToTwips(int pixels, double logicalDpi) {
    return int(std::lround(double(pixels) * 1440.0 / logicalDpi));
}

} // namespace vadok

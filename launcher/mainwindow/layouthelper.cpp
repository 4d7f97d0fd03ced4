#include "mainwindow/layouthelper.h"

#include "shell/appearance.h"

#include <QWidget>

namespace vadok {

int LayoutHelper::toPixels(int twips) const {
    return twipsToPixels(twips, m_window.logicalDpiX());
}

QRect LayoutHelper::toPixels(const QRect& r) const {
    return QRect(toPixels(r.x()), toPixels(r.y()), toPixels(r.width()), toPixels(r.height()));
}

int LayoutHelper::toTwips(int pixels) const {
    return pixelsToTwips(pixels, m_window.logicalDpiX());
}

QSize LayoutHelper::sizeInTwips(const QWidget& widget) const {
    return QSize(toTwips(widget.width()), toTwips(widget.height()));
}

void LayoutHelper::startDrag(const QPoint& globalPointer, const QPoint& barPosition) {
    m_dragging = true;
    m_dragStart = globalPointer;
    m_barStart = barPosition;
}

QPoint LayoutHelper::dragPosition(const QPoint& globalPointer, bool narrow) const {
    if (narrow)
        return QPoint(0, m_barStart.y() + globalPointer.y() - m_dragStart.y());
    return QPoint(m_barStart.x() + globalPointer.x() - m_dragStart.x(), 0);
}

} // namespace vadok

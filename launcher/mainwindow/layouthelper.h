#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace vadok {

// The main window's measures: stored sizes are twips, scaled with the window's logical DPI;
// and the drag of the splitter bar, which moves with the pointer from where it was grabbed.
class LayoutHelper {
public:
    explicit LayoutHelper(const QWidget& window) : m_window(window) {}

    int toPixels(int twips) const;
    QRect toPixels(const QRect& twips) const;
    int toTwips(int pixels) const;
    QSize sizeInTwips(const QWidget& widget) const;

    // The pointer grabbed the bar, which stood at barPosition.
    void startDrag(const QPoint& globalPointer, const QPoint& barPosition);
    bool dragging() const { return m_dragging; }
    // Where the bar goes with the pointer at globalPointer: it moves down in the narrow
    // display (at the left edge), across in the wide one (at the top).
    QPoint dragPosition(const QPoint& globalPointer, bool narrow) const;
    void endDrag() { m_dragging = false; }

private:
    const QWidget& m_window;
    bool m_dragging = false;
    QPoint m_dragStart;
    QPoint m_barStart;
};

} // namespace vadok

#include "shell/statemark.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vadok {

namespace {

QPixmap marked(const QIcon& icon, int side) {
    QPixmap canvas(side, side);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!icon.isNull())
        icon.paint(&painter, QRect(0, 0, side, side));
    // A green disc with a white outline and an upward arrow: the box is open.
    const qreal d = side * 0.5;
    const QRectF disc(side - d, side - d, d, d);
    painter.setPen(QPen(Qt::white, qMax(1.0, side / 16.0)));
    painter.setBrush(QColor(0x2e, 0x9e, 0x44));
    painter.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));
    QPainterPath arrow;
    const QPointF c = disc.center();
    const qreal a = d * 0.28;
    arrow.moveTo(c.x(), c.y() - a);
    arrow.lineTo(c.x() + a, c.y() + a * 0.3);
    arrow.lineTo(c.x() - a, c.y() + a * 0.3);
    arrow.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPath(arrow);
    return canvas;
}

} // namespace

QIcon withExpandedMark(const QIcon& icon) {
    QIcon result;
    for (const int side : {16, 32})
        result.addPixmap(marked(icon, side));
    return result;
}

} // namespace vadok

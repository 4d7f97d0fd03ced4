#include "shell/iconstrip.h"

#include "shell/fileicons.h"
#include "shell/icongrid.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace vadok {

IconStrip::IconStrip(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(0, IconGrid::kStripHeight);
}

void IconStrip::setIcons(std::shared_ptr<const FileIcons> icons) {
    m_icons = std::move(icons);
    m_count = m_icons ? m_icons->count() : 0;
    m_pictures.clear();
    m_selected = -1;
    resize(m_count > 0 ? IconGrid::StripWidth(m_count) : 0, IconGrid::kStripHeight);
    update();
}

void IconStrip::setSelected(int index) {
    if (index == m_selected)
        return;
    update(IconGrid::CellRect(m_selected));
    m_selected = index;
    update(IconGrid::CellRect(m_selected));
}

const QImage& IconStrip::picture(int index) {
    auto it = m_pictures.find(index);
    if (it == m_pictures.end())
        it = m_pictures.insert(index, m_icons->picture(index, IconGrid::kIcon));
    return *it;
}

void IconStrip::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect dirty = event->rect();
    painter.fillRect(dirty, palette().color(QPalette::Base));
    const int first = std::max(dirty.left() / IconGrid::kCell, 0) * IconGrid::kRows;
    const int last = std::min(dirty.right() / IconGrid::kCell * IconGrid::kRows +
                                  IconGrid::kRows - 1,
                              m_count - 1);
    for (int i = first; i <= last; ++i) {
        if (i == m_selected)
            painter.fillRect(IconGrid::CellRect(i), palette().color(QPalette::Highlight));
        const QImage& image = picture(i);
        if (!image.isNull())
            painter.drawImage(IconGrid::IconRect(i), image);
    }
}

void IconStrip::mousePressEvent(QMouseEvent* event) {
    emit pressed(event->position().toPoint());
}

void IconStrip::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

} // namespace vadok

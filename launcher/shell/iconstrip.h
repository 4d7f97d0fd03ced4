#pragma once

#include <QHash>
#include <QImage>
#include <QWidget>
#include <memory>

namespace vadok {

class FileIcons;

// The icon picker's strip: every icon of one file in its grid cell, the selected one on the
// highlight colour. Icons are read and decoded only when their cells are first painted, so a
// library of hundreds opens at once.
class IconStrip : public QWidget {
    Q_OBJECT
public:
    explicit IconStrip(QWidget* parent = nullptr);

    // Shows the icons of file (nullptr: none) with nothing selected; the strip takes the width
    // they need.
    void setIcons(std::shared_ptr<const FileIcons> icons);
    void setSelected(int index);
    int selected() const { return m_selected; }

signals:
    void pressed(const QPoint& position);
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    const QImage& picture(int index);

    std::shared_ptr<const FileIcons> m_icons;
    QHash<int, QImage> m_pictures;
    int m_count = 0;
    int m_selected = -1;
};

} // namespace vadok

#pragma once

#include <QObject>
#include <QPoint>
#include <functional>

class QIcon;
class QMenu;
class QSystemTrayIcon;

namespace vadok {

// The program's icon in the desktop's notification area (the task tray). A left click is
// reported; a right click opens the menu given, at the pointer. The icon exists only while
// add() has put it there and remove() has not taken it away.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    TrayIcon(const QIcon& icon, const QString& tip, QMenu* menu, QObject* parent = nullptr);

    // Whether the desktop has a notification area to show the icon in. Without one an icon
    // would be invisible, and a window hidden into it out of reach.
    static bool isAvailable();
    // Tests replace the answer; an empty function asks the desktop again.
    static void setAvailabilitySource(std::function<bool()> source);

    void add();
    void remove();
    bool isShown() const;

signals:
    void leftClicked();

private:
    QSystemTrayIcon* m_icon = nullptr;
};

} // namespace vadok

#pragma once

#include <QObject>
#include <functional>

class QMenu;
class QWidget;

namespace vadok {

class TrayIcon;

// Life in the task tray: IntoTaskTray 1 hides the minimised window into it, 2 keeps the icon
// there for the whole run and starts with the window hidden. Where the desktop has no tray
// the window is minimised as usual instead, and the user is told so once.
class TrayResidence : public QObject {
    Q_OBJECT
public:
    // settled: whether the window shows its final texts, so a note written now stays to be
    // read; until then the note waits for noteWhenSettled().
    TrayResidence(QWidget& window, QMenu* menu, std::function<bool()> settled);

    void showIcon();
    void hideIcon();
    bool iconShown() const;

    // Into the tray, or minimised as usual where there is none.
    void sendToTray();
    // The window's state changed: a minimised window goes into the tray in a tray mode.
    void windowStateChanged();
    // Shows the window, out of the tray and to the front.
    void restore();
    // A left click on the icon: hides a shown window, brings back a hidden one.
    void toggle();
    // The window has settled: the note about a missing tray, if one waits, is written now.
    void noteWhenSettled();

private:
    void noteMissingTray();

    QWidget& m_window;
    TrayIcon* m_icon = nullptr;
    std::function<bool()> m_settled;
    bool m_noTrayNoted = false;
    bool m_noTrayNotePending = false;
};

} // namespace vadok

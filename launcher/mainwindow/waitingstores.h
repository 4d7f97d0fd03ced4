#pragma once

#include <QMap>
#include <QObject>
#include <QStringList>
#include <optional>

class QTimer;

namespace vadok {

// Stores the user chose to hold back until the programs working in an application's folder
// have ended. While any waits, due() asks every second for another look; the window stays
// usable meanwhile.
class WaitingStores : public QObject {
    Q_OBJECT
public:
    // What follows a store once it runs.
    struct How {
        bool rebuild = false;
        bool expandAgain = false; // the re-compress of a never-stored application
    };

    explicit WaitingStores(QObject* parent);

    // The store of name waits, the user is told so, and the polling starts.
    void add(const QString& name, How how);
    // The user runs the application again: its store waits no longer.
    void drop(const QString& name) { m_waiting.remove(name); }
    bool contains(const QString& name) const { return m_waiting.contains(name); }
    QStringList names() const { return m_waiting.keys(); }
    // Takes name's store off the list, to be run now.
    std::optional<How> take(const QString& name);
    // Put back on the list without a word: it was asked about again and waits once more.
    void putBack(const QString& name, How how) { m_waiting.insert(name, how); }
    // No more looks: the window is closing, or nothing waits any more.
    void stopPolling();

signals:
    void due();

private:
    QMap<QString, How> m_waiting;
    QTimer* m_timer = nullptr;
};

} // namespace vadok

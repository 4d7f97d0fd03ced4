#pragma once

#include <QImage>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

namespace vadok {

class CatalogTree;

// The icons of the applications the tree build queued. A thread of its own reads and scales
// them, through this machine's cache of pictures (AppIconCache), and the tree takes them a
// few milliseconds' worth at a time, so that the window keeps answering while thousands
// arrive. Until its icon is in, each queued node shows a placeholder.
class IconLoader : public QObject {
    Q_OBJECT
public:
    // storeFile keeps the scaled pictures between runs. stopWanted says when a load under way
    // is to end where it is (an exit has begun).
    IconLoader(CatalogTree& tree, const QString& storeFile, std::function<bool()> stopWanted,
               QObject* parent = nullptr);
    // Stops a load under way and waits for its thread.
    ~IconLoader() override;

    // The icon of the application called name, read now and shown on its node (when the file
    // exists): for the few the build shows at once.
    void showNow(const QString& name);
    // Forgets the queue, and a load under way with it; slot 0 stays empty.
    void reset();
    // Queues name's icon and gives its node the placeholder.
    void enqueue(const QString& name);
    // Slot 0 is always empty.
    const QStringList& queue() const { return m_queue; }
    // Loads the queued icons: the status bar counts every ten, finished() follows once the
    // last is on the tree. A stop requested meanwhile ends the load where it is, the queue
    // left as it was, without finished().
    void start();

    // For tests: called on the loading thread before it reads anything.
    void setWorkerGate(std::function<void()> gate) { m_gate = std::move(gate); }

    // The image key of a node whose icon is still to come.
    static QString placeholderKey();

signals:
    void finished();

private:
    struct Picture {
        int index = 0; // in the queue
        QString name;
        QImage image; // null: no icon
    };
    struct Run;
    void readAll(Run& run);
    void takeReady();
    void show(const Picture& picture);
    void finish();
    // Ends the load under way, waiting for its thread.
    void stop();

    CatalogTree& m_tree;
    QString m_storeFile;
    std::function<bool()> m_stopWanted;
    QStringList m_queue;
    std::shared_ptr<Run> m_run;
    // What the thread delivered and the tree has not taken yet, oldest first.
    QList<Picture> m_taking;
    qsizetype m_taken = 0;
    // Lets input and painting in between two slices of icons.
    QTimer m_nextSlice;
    std::function<void()> m_gate;
};

} // namespace vadok

#include "mainwindow/iconloader.h"

#include "catalog/settings.h"
#include "mainwindow/catalogtree.h"
#include "shell/appiconcache.h"
#include "shell/iconpicture.h"
#include "util/statustext.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QPainter>
#include <QPixmap>
#include <QThread>
#include <QtDebug>

#include <atomic>
#include <optional>

#include <sys/stat.h>

namespace vadok {

namespace {

// The longest the tree takes icons in one go: well inside a frame, so the window answers
// input in time however many icons are waiting.
constexpr qint64 kSliceNs = 4'000'000;

const QString kLoaded = QStringLiteral("読み込み完了しました。");

QString iconPath(const QString& folder, const QString& name) {
    return folder + name + QStringLiteral(".ico");
}

// The picture of an icon file, scaled for the tree; identity, when given, receives the version
// read. A null image when there is no icon file of ours there or it holds no picture.
QImage readPicture(const QString& path, FileIdentity* identity) {
    const std::optional<QByteArray> bytes = readIconFile(path, identity);
    return bytes ? iconPicture(*bytes, AppIconCache::kSide) : QImage();
}

// The version of the file at path, when it is a regular file of its own name: a link is
// never read (readIconFile), so its target's version must not fetch a cached picture either.
std::optional<FileIdentity> regularFileIdentity(const QString& path) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return fileIdentity(status);
}

QIcon placeholderIcon() {
    QPixmap picture(AppIconCache::kSide, AppIconCache::kSide);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(160, 160, 160), 2));
    painter.setBrush(QColor(232, 232, 232));
    painter.drawRoundedRect(QRectF(4, 4, 24, 24), 4, 4);
    painter.end();
    return QIcon(picture);
}

} // namespace

// One load: the queue it reads, and what its thread hands to the window's thread.
struct IconLoader::Run {
    QStringList queue;
    QString iconFolder;
    std::function<void()> gate;
    std::atomic<bool> cancel{false};
    std::unique_ptr<QThread> thread;

    QMutex mutex;
    QList<Picture> ready;  // delivered, not taken yet
    bool done = false;     // every picture delivered
    bool notified = false; // a call of takeReady is on its way or running
    bool over = false;     // finished() was sent
};

IconLoader::IconLoader(CatalogTree& tree, const QString& storeFile,
                       std::function<bool()> stopWanted, QObject* parent)
    : QObject(parent), m_tree(tree), m_storeFile(storeFile),
      m_stopWanted(std::move(stopWanted)), m_queue{QString()} {
    // A zero timer runs after the input and paint events that came meanwhile, which a posted
    // call would overtake.
    m_nextSlice.setSingleShot(true);
    m_nextSlice.setInterval(0);
    connect(&m_nextSlice, &QTimer::timeout, this, &IconLoader::takeReady);
}

IconLoader::~IconLoader() {
    stop();
}

QString IconLoader::placeholderKey() {
    // '!' is refused in titles, so no application's own image can take this key.
    return QStringLiteral("!loading");
}

void IconLoader::showNow(const QString& name) {
    const QImage picture = readPicture(iconPath(settings().IconDir, name), nullptr);
    if (picture.isNull())
        return;
    m_tree.addImage(name, QIcon(QPixmap::fromImage(picture)));
    m_tree.setImage(m_tree.node(name), name);
}

void IconLoader::reset() {
    stop();
    m_queue = QStringList{QString()};
}

void IconLoader::enqueue(const QString& name) {
    m_queue.append(name);
    if (!m_tree.hasImage(placeholderKey()))
        m_tree.addImage(placeholderKey(), placeholderIcon());
    m_tree.setImage(m_tree.node(name), placeholderKey());
}

void IconLoader::start() {
    stop();
    const int last = int(m_queue.size()) - 1;
    SetStatusText(kLoaded + QStringLiteral("(アイコン読込中...)"), 1);
    SetStatusText(kLoaded + QStringLiteral("(アイコン読込中... 0/%1)").arg(last), 1);

    auto run = std::make_shared<Run>();
    run->queue = m_queue;
    run->iconFolder = settings().IconDir;
    m_run = run;
    run->gate = m_gate;
    run->thread.reset(QThread::create([this, run] { readAll(*run); }));
    run->thread->start();
    // A process at its thread limit gets no thread: the icons are read here instead, and the
    // window takes them as it would from the thread.
    if (!run->thread->isRunning() && !run->thread->isFinished()) {
        run->thread.reset();
        readAll(*run);
    }
}

void IconLoader::readAll(Run& run) {
    // Runs on the loading thread: it touches the run and the store file's name, which never
    // changes. The store is read anew by every load rather than kept: just written by the load
    // before, it costs one read, where keeping it would hold every picture twice.
    if (run.gate)
        run.gate();
    AppIconCache cache;
    QString why;
    bool rewrite = !cache.load(m_storeFile, &why);
    if (rewrite)
        qWarning() << "icon cache" << m_storeFile << "ignored, to be written anew:" << why;
    // A picture, or nothing once all are delivered.
    auto deliver = [&](std::optional<Picture> picture) {
        QMutexLocker lock(&run.mutex);
        if (picture)
            run.ready.append(std::move(*picture));
        else
            run.done = true;
        if (!run.notified) {
            run.notified = true;
            QMetaObject::invokeMethod(this, &IconLoader::takeReady, Qt::QueuedConnection);
        }
    };
    AppIconCache fresh;
    for (int i = 1; i < int(run.queue.size()); ++i) {
        if (run.cancel)
            return;
        Picture picture{i, run.queue[i], QImage()};
        if (!picture.name.isEmpty()) {
            const QString path = iconPath(run.iconFolder, picture.name);
            if (const std::optional<FileIdentity> now = regularFileIdentity(path)) {
                FileIdentity read = *now;
                picture.image = cache.lookup(path, *now);
                if (picture.image.isNull()) {
                    picture.image = readPicture(path, &read);
                    rewrite = rewrite || !picture.image.isNull();
                }
                fresh.put(path, read, picture.image);
            }
        }
        deliver(std::move(picture));
    }
    if (run.cancel)
        return;
    deliver(std::nullopt);
    // After the window has everything: the next start reads this one file. Pictures of icons
    // no longer asked for leave it.
    if ((rewrite || fresh.size() != cache.size()) && !fresh.save(m_storeFile))
        qWarning() << "icon cache" << m_storeFile << "could not be written";
}

void IconLoader::takeReady() {
    const std::shared_ptr<Run> run = m_run;
    // A call posted by a load stopped since, or after the end, finds nothing to do.
    if (!run || run->over)
        return;
    if (m_stopWanted && m_stopWanted()) {
        stop();
        return;
    }
    QElapsedTimer spent;
    spent.start();
    for (;;) {
        if (m_taken == m_taking.size()) {
            m_taking.clear();
            m_taken = 0;
            QMutexLocker lock(&run->mutex);
            m_taking.swap(run->ready);
            if (m_taking.isEmpty()) {
                run->notified = false;
                const bool done = run->done;
                lock.unlock();
                if (done)
                    finish();
                return;
            }
        }
        show(m_taking[m_taken++]);
        if (spent.nsecsElapsed() > kSliceNs) {
            m_nextSlice.start();
            return;
        }
    }
}

void IconLoader::show(const Picture& picture) {
    if (!picture.image.isNull())
        m_tree.addImage(picture.name, QIcon(QPixmap::fromImage(picture.image)));
    QTreeWidgetItem* node = m_tree.node(picture.name);
    // Only a placeholder gives way: an image the node was given meanwhile stays.
    if (node && CatalogTree::imageKey(node) == placeholderKey())
        m_tree.setImage(node, picture.image.isNull() ? QString() : picture.name);
    if (picture.index % 10 == 0)
        SetStatusText(kLoaded + QStringLiteral("(アイコン読込中... %1/%2)")
                                    .arg(picture.index)
                                    .arg(m_queue.size() - 1),
                      1);
}

void IconLoader::finish() {
    // The thread may still be writing the cache; the next load or the end waits for it.
    m_run->over = true;
    m_queue = QStringList{QString()};
    SetStatusText(kLoaded, 1);
    emit finished();
}

void IconLoader::stop() {
    m_nextSlice.stop();
    m_taking.clear();
    m_taken = 0;
    if (!m_run)
        return;
    m_run->cancel = true;
    if (m_run->thread)
        m_run->thread->wait();
    m_run.reset();
}

} // namespace vadok

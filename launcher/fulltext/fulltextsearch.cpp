#include "fulltext/fulltextsearch.h"

#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/datafilecache.h"
#include "catalog/settings.h"
#include "fulltext/indexpass.h"
#include "fulltext/indexquery.h"
#include "fulltext/searchdb.h"

#include <QFileInfo>

#include <pthread.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace vadok {

namespace {

const QString kRebuiltMessage = QStringLiteral("全文検索の索引が壊れていたため、作り直しています。");

QString searchDbPath() {
    return QFileInfo(dataFilePath()).absolutePath() + QStringLiteral("/vadok.search.db");
}

// The applications as the data file holds them now, with where their texts are.
std::vector<AppSource> catalogSources() {
    std::vector<AppSource> apps;
    const Settings& s = settings();
    const std::shared_ptr<const XmlDocument> doc = readDataFile();
    for (const XmlElement& element : doc->select(QStringLiteral("/Vadok/Apps/App"))) {
        AppRecord record;
        ReadAppRecord(element, record);
        if (record.AppName.isEmpty())
            continue;
        AppSource app;
        app.title = record.AppName;
        app.notes = record.Info;
        app.archive = s.PackDir + record.AppName + QStringLiteral(".lzh");
        app.folder = s.ExecDir + record.AppName + u'/';
        app.shortcut = record.ShortCut;
        apps.push_back(std::move(app));
    }
    return apps;
}

} // namespace

// The worker owns the writing connection. The reading one belongs to query() on the GUI
// thread, but the worker closes it (under readMutex) before it replaces a damaged file, so
// that no reader is left on a file that is gone.
struct FullTextSearch::Private {
    FullTextSearch* q = nullptr;
    QString path;

    std::mutex mutex;
    std::condition_variable changed;
    std::optional<std::vector<AppSource>> pending; // the next pass's applications
    bool running = false;                          // a pass is under way
    bool stopping = false;
    bool damaged = false;                          // a reader met a damaged file

    std::mutex readMutex;
    SearchDb reader;

    SearchDb writer;
    std::optional<FileIdentity> writerFile; // what the writer has open
    std::thread worker;

    void work();
    void pass(std::vector<AppSource> apps);
    void openWriter(bool rebuild);
    bool stopRequested() {
        std::lock_guard lock(mutex);
        return stopping;
    }
};

void FullTextSearch::Private::openWriter(bool rebuild) {
    const std::optional<FileIdentity> now = fileIdentity(path);
    // A file deleted (or replaced) behind our back is simply made again.
    if (!rebuild && writer.isOpen() && now && now == writerFile)
        return;
    {
        std::lock_guard lock(readMutex);
        reader.close();
        writer.close();
        if (rebuild || !now)
            removeSearchDbFiles(path);
    }
    writer.openForWriting(path);
    writerFile = fileIdentity(path);
}

void FullTextSearch::Private::pass(std::vector<AppSource> apps) {
    bool rebuild = false;
    {
        std::lock_guard lock(mutex);
        rebuild = std::exchange(damaged, false);
    }
    PassHooks hooks;
    hooks.stopping = [this] { return stopRequested(); };
    hooks.progress = [this](int done, int total) {
        QMetaObject::invokeMethod(q, [q = q, done, total] { emit q->progress(done, total); },
                                  Qt::QueuedConnection);
    };
    // A damaged file is made anew once per pass; should the new one fail too (a full disk),
    // the pass gives up and the next refresh tries again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            openWriter(rebuild);
            if (rebuild)
                QMetaObject::invokeMethod(
                    q, [q = q] { emit q->rebuilt(kRebuiltMessage); }, Qt::QueuedConnection);
            runIndexPass(writer, apps, hooks);
            return;
        } catch (const SqlError& e) {
            if (!e.damage() || rebuild)
                return;
            rebuild = true;
        }
    }
}

void FullTextSearch::Private::work() {
    pthread_setname_np(pthread_self(), "vadok-fulltext");
    std::unique_lock lock(mutex);
    while (true) {
        changed.wait(lock, [this] { return stopping || pending; });
        if (stopping)
            break;
        std::vector<AppSource> apps = std::move(*pending);
        pending.reset();
        running = true;
        lock.unlock();
        pass(std::move(apps));
        lock.lock();
        running = false;
        if (!stopping)
            QMetaObject::invokeMethod(q, [q = q] { emit q->indexed(); }, Qt::QueuedConnection);
        changed.notify_all();
    }
    lock.unlock();
    std::lock_guard readLock(readMutex);
    writer.close();
}

FullTextSearch::FullTextSearch(QObject* parent)
    : QObject(parent), d(std::make_unique<Private>()) {
    d->q = this;
    d->path = searchDbPath();
    d->worker = std::thread([this] { d->work(); });
}

FullTextSearch::~FullTextSearch() {
    {
        std::lock_guard lock(d->mutex);
        d->stopping = true;
    }
    d->changed.notify_all();
    d->worker.join();
    std::lock_guard lock(d->readMutex);
    d->reader.close();
}

void FullTextSearch::refresh() {
    std::vector<AppSource> apps = catalogSources();
    {
        std::lock_guard lock(d->mutex);
        d->pending = std::move(apps);
    }
    d->changed.notify_all();
}

std::vector<FullTextHit> FullTextSearch::query(const QString& text, int limit) {
    {
        std::lock_guard lock(d->readMutex);
        try {
            if (!d->reader.isOpen() && !d->reader.openForReading(d->path))
                return {};
            return runQuery(d->reader, text, limit);
        } catch (const SqlError& e) {
            if (!e.damage())
                return {};
            d->reader.close();
        }
    }
    {
        std::lock_guard lock(d->mutex);
        d->damaged = true;
    }
    refresh();
    return {};
}

bool FullTextSearch::isIndexing() const {
    std::lock_guard lock(d->mutex);
    return d->running || d->pending.has_value();
}

void FullTextSearch::waitUntilIdle() {
    std::unique_lock lock(d->mutex);
    d->changed.wait(lock, [this] { return d->stopping || (!d->running && !d->pending); });
}

} // namespace vadok

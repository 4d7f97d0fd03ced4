#include "fulltext/fulltextsearch.h"

#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/datafilecache.h"
#include "catalog/settings.h"
#include "fulltext/indexfiles.h"
#include "fulltext/indexpass.h"
#include "fulltext/indexquery.h"
#include "fulltext/searchdb.h"
#include "platform/programfolder.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>

#include <pthread.h>
#include <sqlite3.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace vadok {

namespace {

const QString kRebuiltMessage = QStringLiteral("全文検索の索引が壊れていたため、作り直しています。");

QString passFailure(const QString& reason) {
    return QStringLiteral("全文検索の索引を更新できませんでした（%1）。").arg(reason);
}

QString queryFailure(const QString& reason) {
    return QStringLiteral("検索できませんでした（%1）。").arg(reason);
}

QString whatOf(const std::exception& e) { return QString::fromLocal8Bit(e.what()); }

const QString kUnknownReason = QStringLiteral("原因不明のエラー");

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

// The worker owns the writing connection; the reading one is shared by query() and the query
// thread under readMutex, and the worker closes it (under readMutex too) before it replaces
// a damaged file, so that no reader is left on a file that is gone.
//
// The threads hold this through a shared_ptr of their own: when the destructor stops waiting
// for them, they finish their step here, with q gone, and end.
struct FullTextSearch::Private {
    FullTextOptions options;
    QString path;
    QString dataFolder;

    mutable std::mutex mutex;
    std::condition_variable changed;
    FullTextSearch* q = nullptr;                   // null once the object is going
    std::optional<std::vector<AppSource>> pending; // the next pass's applications
    bool running = false;                          // a pass is under way
    std::atomic<bool> stopping{false};
    bool damaged = false;                          // a reader met a damaged file
    bool firstPass = true;                         // the worker's own
    QStringList cut;
    int threads = 0;                               // threads that have not ended yet
    QString unstarted;                             // why a thread could not be started

    struct Ask {
        QString text;
        int limit = 0;
        quint64 number = 0;
    };
    std::optional<Ask> asked;
    std::atomic<quint64> latestAsk{0};
    std::atomic<quint64> answering{0}; // the ask being answered; 0: a query() of a caller

    std::mutex readMutex;
    SearchDb reader;

    SearchDb writer;
    std::optional<FileIdentity> writerFile; // what the writer has open
    std::thread worker;
    std::thread asker;

    void work();
    void answerAsks();
    // Ends a thread's run: the destructor waits for the count to reach zero.
    void ended();
    void pass(std::vector<AppSource> apps);
    void openWriter(bool rebuild);
    // ask: the number of the ask being answered, 0 for a caller's own query.
    FullTextAnswer query(const QString& text, int limit, quint64 ask);
    void checkpoint(const char* point) {
        if (options.checkpoint)
            options.checkpoint(point);
    }
    // Runs f on the GUI thread, unless the object is going.
    template <typename F>
    void post(F f) {
        std::lock_guard lock(mutex);
        if (q)
            QMetaObject::invokeMethod(q, [q = q, f = std::move(f)] { f(q); }, Qt::QueuedConnection);
    }
};

void FullTextSearch::Private::ended() {
    std::lock_guard lock(mutex);
    --threads;
    changed.notify_all();
}

void FullTextSearch::Private::openWriter(bool rebuild) {
    const std::optional<FileIdentity> now = fileIdentity(path);
    // A file deleted (or replaced) behind our back is simply made again.
    if (!rebuild && writer.isOpen() && now && now == writerFile)
        return;
    {
        std::lock_guard lock(readMutex);
        reader.close();
        writer.close();
        if (rebuild && !removeIndexEntries(path))
            throw SqlError{SQLITE_CANTOPEN, (path + QStringLiteral(" を消せません")).toStdString()};
    }
    writer.openForWriting(path, options.busyTimeoutMs, [this] { return stopping.load(); });
    writerFile = fileIdentity(path);
}

void FullTextSearch::Private::pass(std::vector<AppSource> apps) {
    bool rebuild = false;
    {
        std::lock_guard lock(mutex);
        rebuild = std::exchange(damaged, false);
    }
    // The index an older vadok kept beside the data file goes once, when this machine's own
    // is made for the first time; after that it is another machine's to keep.
    if (std::exchange(firstPass, false) && inspectIndexEntries(path) == IndexEntries::Absent)
        removeIndexBesideDataFile(dataFolder);
    PassHooks hooks;
    hooks.stopping = [this] { return stopping.load(); };
    hooks.progress = [this](int done, int total) {
        post([done, total](FullTextSearch* q) { emit q->progress(done, total); });
    };
    hooks.reading = [this](const char* point) { checkpoint(point); };
    hooks.appTextLimit = options.appTextLimit;
    hooks.indexTextLimit = options.indexTextLimit;
    QString failure;
    // A damaged file is made anew once per pass; should the new one fail too (a full disk),
    // the pass gives up and the next refresh tries again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            checkpoint("pass");
            openWriter(rebuild);
            if (rebuild)
                post([](FullTextSearch* q) { emit q->rebuilt(kRebuiltMessage); });
            runIndexPass(writer, apps, hooks);
            QStringList cutNow = appsWithCutTexts(writer);
            {
                std::lock_guard lock(mutex);
                cut = std::move(cutNow);
            }
            if (!stopping)
                post([](FullTextSearch* q) { emit q->indexed(); });
            return;
        } catch (const SqlError& e) {
            if (stopping && e.interrupted())
                return;
            if (e.damage() && !rebuild) {
                rebuild = true;
                continue;
            }
            failure = reasonOf(e);
        } catch (const std::exception& e) {
            failure = whatOf(e);
        } catch (...) {
            failure = kUnknownReason;
        }
        break;
    }
    if (!stopping)
        post([message = passFailure(failure)](FullTextSearch* q) { emit q->failed(message); });
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
        changed.notify_all();
    }
    lock.unlock();
    {
        std::lock_guard readLock(readMutex);
        writer.close();
    }
    ended();
    checkpoint("worker ended");
}

FullTextAnswer FullTextSearch::Private::query(const QString& text, int limit, quint64 ask) {
    bool damage = false;
    FullTextAnswer answer;
    {
        std::lock_guard lock(readMutex);
        answering = ask;
        const auto done = qScopeGuard([this] { answering = 0; });
        try {
            checkpoint("query");
            if (!reader.isOpen() &&
                !reader.openForReading(path, [this] {
                    const quint64 ask = answering.load();
                    return stopping.load() || (ask != 0 && ask != latestAsk.load());
                }))
                return answer;
            answer.hits = runQuery(reader, text, limit);
            return answer;
        } catch (const SqlError& e) {
            if (e.damage()) {
                reader.close();
                damage = true;
                answer.error = kRebuiltMessage;
            } else {
                answer.error = queryFailure(reasonOf(e));
            }
        } catch (const std::exception& e) {
            answer.error = queryFailure(whatOf(e));
        } catch (...) {
            answer.error = queryFailure(kUnknownReason);
        }
    }
    if (damage) {
        FullTextSearch* owner = nullptr;
        {
            std::lock_guard lock(mutex);
            damaged = true;
            owner = q;
        }
        // The catalog is read on the GUI thread only.
        if (owner && QThread::currentThread() == owner->thread())
            owner->refresh();
        else
            post([](FullTextSearch* q) { q->refresh(); });
    }
    return answer;
}

void FullTextSearch::Private::answerAsks() {
    pthread_setname_np(pthread_self(), "vadok-ftquery");
    std::unique_lock lock(mutex);
    while (true) {
        changed.wait(lock, [this] { return stopping || asked; });
        if (stopping)
            break;
        const Ask ask = std::move(*asked);
        asked.reset();
        lock.unlock();
        FullTextAnswer answer = query(ask.text, ask.limit, ask.number);
        // One asked since has stopped this one, or will be answered after it.
        if (ask.number == latestAsk)
            post([text = ask.text, answer = std::move(answer)](FullTextSearch* q) {
                emit q->answered(text, answer);
            });
        lock.lock();
    }
    lock.unlock();
    ended();
    checkpoint("asker ended");
}

FullTextSearch::FullTextSearch(QObject* parent, FullTextOptions options)
    : QObject(parent), d(std::make_shared<Private>()) {
    d->options = std::move(options);
    d->path = d->options.path.isEmpty() ? machineCacheFile(QStringLiteral("vadok.search.db"))
                                        : d->options.path;
    d->dataFolder = QFileInfo(dataFilePath()).absolutePath();
    d->q = this;
    // A process at its limit of threads still opens its window: without the index's threads
    // nothing is indexed nor answered, and each refresh or ask says why.
    const auto start = [this](std::thread& thread, const char* point, void (Private::*run)()) {
        try {
            d->checkpoint(point);
            thread = std::thread([d = d, run] { (d.get()->*run)(); });
            ++d->threads;
        } catch (const std::system_error& e) {
            d->unstarted = QString::fromLocal8Bit(e.what());
        }
    };
    start(d->worker, "worker start", &Private::work);
    start(d->asker, "asker start", &Private::answerAsks);
}

FullTextSearch::~FullTextSearch() {
    std::unique_lock lock(d->mutex);
    d->q = nullptr;
    d->stopping = true;
    d->changed.notify_all();
    const bool ended = d->changed.wait_for(lock, d->options.exitWait, [this] { return d->threads == 0; });
    lock.unlock();
    for (std::thread* thread : {&d->worker, &d->asker}) {
        if (!thread->joinable())
            continue;
        if (ended)
            thread->join();
        else
            thread->detach();
    }
}

void FullTextSearch::refresh() {
    if (!d->worker.joinable()) {
        d->post([why = d->unstarted](FullTextSearch* q) {
            emit q->failed(QStringLiteral("全文検索の索引を更新できませんでした（") + why +
                           QStringLiteral("）。"));
        });
        return;
    }
    std::vector<AppSource> apps = catalogSources();
    {
        std::lock_guard lock(d->mutex);
        d->pending = std::move(apps);
    }
    d->changed.notify_all();
}

FullTextAnswer FullTextSearch::query(const QString& text, int limit) {
    return d->query(text, limit, 0);
}

void FullTextSearch::ask(const QString& text, int limit) {
    if (!d->asker.joinable()) {
        d->post([text, why = d->unstarted](FullTextSearch* q) {
            emit q->answered(text, {{}, QStringLiteral("検索できませんでした（") + why +
                                            QStringLiteral("）。")});
        });
        return;
    }
    {
        std::lock_guard lock(d->mutex);
        d->asked = Private::Ask{text, limit, ++d->latestAsk};
    }
    d->changed.notify_all();
}

bool FullTextSearch::isIndexing() const {
    std::lock_guard lock(d->mutex);
    return d->running || d->pending.has_value();
}

QStringList FullTextSearch::cutApplications() const {
    std::lock_guard lock(d->mutex);
    return d->cut;
}

QString FullTextSearch::path() const { return d->path; }

void FullTextSearch::waitUntilIdle() {
    std::unique_lock lock(d->mutex);
    d->changed.wait(lock, [this] { return d->stopping || (!d->running && !d->pending); });
}

} // namespace vadok

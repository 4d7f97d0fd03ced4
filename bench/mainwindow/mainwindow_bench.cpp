// Run offscreen: QT_QPA_PLATFORM=offscreen bench_mainwindow
//
// WindowShown     a fresh process (this program with --show-window) from its start until the
//                 window is on the screen; the catalog is the new-file template.
// LoadTree/N      rebuilding the tree of N applications in 100 folders.
// IconLoading/cold/N, IconLoading/warm/N
//                 a start of the window on N applications in 100 folders, each with an icon:
//                 cold with no pictures cached (the first start on a machine), warm with the
//                 cache the start before wrote. Counters: shown_ms, the slowest run from
//                 LoadTree() until every icon is on the tree; max_input_wait_ms, the longest
//                 a timer due at once (standing for user input) waited once the tree was
//                 built, and max_input_wait_cpu_ms, the most the window's thread itself
//                 worked within one such wait (the rest of a wait is other processes' time on
//                 a loaded machine); build_ms, the build itself, which holds the window while
//                 it runs.
// SearchTyping/N  typing into the search box of a window showing N applications.
// RootSizes/N     from the end of the tree build of a window showing N stored applications
//                 until the sizes panel shows the root's totals. Counters: cold_ms, the first
//                 run, when every archive's headers had to be read; warm_max_ms, the slowest
//                 later run, with the contents known from the runs before.
// ExecStored/MB   実行 (cmdExec) on a stored application of about MB megabytes (the
//                 archiver bench's corpus in a real archive, stored by the archiver): from
//                 the click until the application's program has started, as that program
//                 records it. Each run expands into a fresh execution folder, so that no
//                 run follows the deletion of thousands of files. Counters: best_ms, the
//                 fastest run, and expand_only_ms, the expansion alone through the same
//                 archiver call. Run it when nothing has deleted many files for five
//                 minutes (this benchmark does, when it ends): ext4 without a journal
//                 checks and skips every recently freed inode while it creates files, for
//                 up to five minutes, and the expansion then takes three times as long.

#include "apps/archivercalls.h"
#include "appcorpus.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "catalog/xmldocument.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/frmmain.h"
#include "platform/programfolder.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <unistd.h>

namespace {

using namespace vadok;

constexpr int kFolders = 100;

QString appName(int i) {
    return QStringLiteral("アプリ%1").arg(i, 5, 10, QLatin1Char('0'));
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 60000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// A program folder whose catalog holds count applications spread over 100 folders.
class Catalog {
public:
    explicit Catalog(int count, bool icons) {
        setProgramFolder(m_dir.path());
        PrepareDataFile();
        settings() = Settings();
        LoadSettings();
        XmlDocument doc;
        doc.load(dataFilePath());
        XmlElement root = doc.documentElement();
        XmlElement folders = root.firstChild(QStringLiteral("Folders"));
        folders.removeChildren();
        XmlElement apps = root.firstChild(QStringLiteral("Apps"));
        QList<XmlElement> folderElements;
        for (int f = 0; f < kFolders; ++f) {
            XmlElement folder = folders.appendChild(QStringLiteral("Folder"));
            folder.setAttribute(QStringLiteral("Name"), QStringLiteral("フォルダ%1").arg(f));
            folder.setAttribute(QStringLiteral("Parent"), QStringLiteral("ROOT"));
            folder.setAttribute(QStringLiteral("Order"), QString::number(f + 1));
            folderElements << folder;
        }
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::darkCyan);
        for (int i = 0; i < count; ++i) {
            const QString name = appName(i);
            folderElements[i % kFolders].appendChild(QStringLiteral("AppItem")).setText(name);
            XmlElement app = apps.appendChild(QStringLiteral("App"));
            app.appendChild(QStringLiteral("Name")).setText(name);
            app.appendChild(QStringLiteral("Fol"))
                .setText(QStringLiteral("フォルダ%1").arg(i % kFolders));
            app.appendChild(QStringLiteral("Date")).setText(QStringLiteral("2026/05/06 7:08:09"));
            app.appendChild(QStringLiteral("Exec")).setText(QStringLiteral("bin/tool.exe -q"));
            app.appendChild(QStringLiteral("NonPack")).setText(QStringLiteral("False"));
            XmlElement text = app.appendChild(QStringLiteral("Text"));
            for (int line = 0; line < 3; ++line)
                text.appendChild(QStringLiteral("Line"))
                    .setText(QStringLiteral("使い方の説明 %1 行目").arg(line));
            if (icons)
                image.save(settings().IconDir + name + QStringLiteral(".ico"), "ICO");
        }
        doc.save(dataFilePath());
    }

private:
    QTemporaryDir m_dir;
};

void LoadTree(benchmark::State& state) {
    Catalog catalog(int(state.range(0)), false);
    frmMain window;
    window.show();
    if (!waitFor([&] { return window.stage() == u"NORMAL"; })) {
        state.SkipWithError("the window never reached its steady state");
        return;
    }
    for (auto _ : state)
        window.LoadTree();
    state.counters["apps"] = double(window.Apps().size() - 1);
}
BENCHMARK(LoadTree)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One start of a window on the catalog, from the build of the tree until every icon is shown.
struct IconStart {
    double shownMs = -1;     // from LoadTree() until the last icon is on the tree
    double buildMs = 0;      // LoadTree() alone, which holds the window while it runs
    double longestWait = 0;  // the longest a timer due at once waited once the tree was built
    // The most the window's thread itself worked within one such wait: on a loaded machine the
    // wait also holds the time other processes had the processor.
    double longestWaitWork = 0;
};

// Time the calling thread has run, in milliseconds.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

IconStart startWindowAndShowIcons() {
    IconStart start;
    frmMain window;
    QEventLoop loop;
    QElapsedTimer sinceLoadTree;
    QElapsedTimer sinceDue;
    // A zero timer is due at once; how late it runs is how long input would wait.
    QTimer heartbeat;
    heartbeat.setInterval(0);
    double workedAtDue = 0;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        start.longestWait = std::max(start.longestWait, double(sinceDue.nsecsElapsed()) / 1e6);
        start.longestWaitWork = std::max(start.longestWaitWork, threadCpuMs() - workedAtDue);
        sinceDue.restart();
        workedAtDue = threadCpuMs();
    });
    QObject::connect(&window, &frmMain::stageChanged, [&](const QString& stage) {
        if (stage == u"BOOT") {
            sinceLoadTree.start();
        } else if (stage == u"ICONLOAD") {
            // The build announces the stage before its last steps (each application's state,
            // the sizes): the build is over when the window next takes events.
            QTimer::singleShot(0, &window, [&] {
                start.buildMs = double(sinceLoadTree.nsecsElapsed()) / 1e6;
                sinceDue.start();
                workedAtDue = threadCpuMs();
                heartbeat.start();
            });
        } else if (stage == u"NORMAL") {
            start.shownMs = double(sinceLoadTree.nsecsElapsed()) / 1e6;
            heartbeat.stop();
            loop.quit();
        }
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    window.show();
    loop.exec();
    return start; // the window's end waits for the cache to be written
}

// cold: the first start on this machine, with no pictures cached; warm: every later start.
void IconLoading(benchmark::State& state, bool cold) {
    Catalog catalog(int(state.range(0)), true);
    const QString cache = machineCacheFile(QStringLiteral("vadok.icons"));
    if (!cold)
        startWindowAndShowIcons();
    double longestWait = 0;
    double longestWaitWork = 0;
    double longestBuild = 0;
    double slowest = 0;
    for (auto _ : state) {
        if (cold)
            QFile::remove(cache);
        const IconStart start = startWindowAndShowIcons();
        if (start.shownMs < 0) {
            state.SkipWithError("the icons were never all shown");
            break;
        }
        longestWait = std::max(longestWait, start.longestWait);
        longestWaitWork = std::max(longestWaitWork, start.longestWaitWork);
        longestBuild = std::max(longestBuild, start.buildMs);
        slowest = std::max(slowest, start.shownMs);
        state.SetIterationTime(start.shownMs / 1000.0);
    }
    // The catalog's folder goes at the end; the cache of its pictures, in the user's own cache
    // folder, would be left behind.
    QFile::remove(cache);
    state.counters["shown_ms"] = slowest;
    state.counters["max_input_wait_ms"] = longestWait;
    state.counters["max_input_wait_cpu_ms"] = longestWaitWork;
    state.counters["build_ms"] = longestBuild;
}
BENCHMARK_CAPTURE(IconLoading, cold, true)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(IconLoading, warm, false)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// Each application gets its own copy of one small archive.
void addArchives(int count) {
    const QString source = settings().PackDir + QStringLiteral("source/");
    QDir().mkpath(source);
    for (int f = 0; f < 20; ++f) {
        QFile file(source + QStringLiteral("file%1.txt").arg(f));
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(2000 + 100 * f, char('a' + f)));
    }
    const QString first = settings().PackDir + appName(0) + QStringLiteral(".lzh");
    RunUnlha(StoreCommand(first, source, true));
    QDir(source).removeRecursively();
    for (int i = 1; i < count; ++i)
        QFile::copy(first, settings().PackDir + appName(i) + QStringLiteral(".lzh"));
}

void RootSizes(benchmark::State& state) {
    const int count = int(state.range(0));
    Catalog catalog(count, false);
    addArchives(count);
    double coldMs = -1;
    double warmMs = 0;
    for (auto _ : state) {
        frmMain window;
        auto* sizes = window.findChild<QLabel*>(QStringLiteral("StatusBarSizes"));
        QElapsedTimer sinceTreeReady;
        QObject::connect(&window, &frmMain::stageChanged, [&](const QString& stage) {
            if (stage == u"ICONLOAD")
                sinceTreeReady.start();
        });
        window.show();
        if (!waitFor([&] {
                return sinceTreeReady.isValid() && sizes->text().contains(QStringLiteral("本"));
            })) {
            state.SkipWithError("the root's totals never appeared");
            return;
        }
        const double ms = double(sinceTreeReady.nsecsElapsed()) / 1e6;
        if (coldMs < 0)
            coldMs = ms;
        else
            warmMs = std::max(warmMs, ms);
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["cold_ms"] = coldMs;
    state.counters["warm_max_ms"] = warmMs;
}
BENCHMARK(RootSizes)->Arg(5000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);

// Typing into the search box: each iteration types one character at a time, the hits
// rebuilt after each. "リ01" narrows to 1 in 50 applications; "ア" matches every one of them,
// the most a keystroke can list.
void SearchTyping(benchmark::State& state, const QString& typed) {
    Catalog catalog(int(state.range(0)), false);
    frmMain window;
    window.show();
    if (!waitFor([&] { return window.stage() == u"NORMAL"; })) {
        state.SkipWithError("the window never reached its steady state");
        return;
    }
    window.ToggleSearchMode();
    auto* box = window.findChild<QLineEdit*>(QStringLiteral("txtSearch"));
    for (auto _ : state) {
        box->clear();
        for (QChar c : typed)
            box->insert(QString(c));
    }
    state.counters["keys"] = double(typed.size());
}
BENCHMARK_CAPTURE(SearchTyping, three_letters, QStringLiteral("リ01"))
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(SearchTyping, every_application, QStringLiteral("ア"))
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A catalog of one stored application whose program, start.sh, writes the moment it starts
// (nanoseconds since the epoch) into $VADOK_BENCH_STARTED.
class StoredApplication {
public:
    static constexpr const char* kName = "計測アプリ";

    explicit StoredApplication(std::uint64_t megabytes) {
        setProgramFolder(m_dir.path());
        PrepareDataFile();
        settings() = Settings();
        LoadSettings();
        const QString name = QString::fromUtf8(kName);
        const QString source = m_dir.path() + QStringLiteral("/source/");
        vadok::bench::buildAppCorpus(QFile::encodeName(source).toStdString(), megabytes * 1000000);
        QFile script(source + QStringLiteral("start.sh"));
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\ndate +%s%N > \"$VADOK_BENCH_STARTED.part\"\n"
                     "mv \"$VADOK_BENCH_STARTED.part\" \"$VADOK_BENCH_STARTED\"\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        m_stored = RunUnlha(StoreCommand(settings().PackDir + name + QStringLiteral(".lzh"),
                                         source, true)) == 0;
        // The source stays until the end: deleting its thousands of files now would slow
        // down the file creation of the runs (see ExecStored).

        XmlDocument doc;
        doc.load(dataFilePath());
        XmlElement root = doc.documentElement();
        XmlElement folders = root.firstChild(QStringLiteral("Folders"));
        folders.removeChildren();
        XmlElement folder = folders.appendChild(QStringLiteral("Folder"));
        folder.setAttribute(QStringLiteral("Name"), QStringLiteral("ツール"));
        folder.setAttribute(QStringLiteral("Parent"), QStringLiteral("ROOT"));
        folder.setAttribute(QStringLiteral("Order"), QStringLiteral("1"));
        folder.appendChild(QStringLiteral("AppItem")).setText(name);
        XmlElement app = root.firstChild(QStringLiteral("Apps")).appendChild(QStringLiteral("App"));
        app.appendChild(QStringLiteral("Name")).setText(name);
        app.appendChild(QStringLiteral("Fol")).setText(QStringLiteral("ツール"));
        app.appendChild(QStringLiteral("Date")).setText(QStringLiteral("2026/05/06 7:08:09"));
        app.appendChild(QStringLiteral("Exec")).setText(QStringLiteral("start.sh"));
        app.appendChild(QStringLiteral("NonPack")).setText(QStringLiteral("False"));
        doc.save(dataFilePath());
        // A stored application was stored long before it runs: nothing it left is still
        // being written out when 実行 is clicked.
        ::sync();
    }
    bool stored() const { return m_stored; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_stored = false;
};

void ExecStored(benchmark::State& state) {
    StoredApplication catalog(std::uint64_t(state.range(0)));
    if (!catalog.stored()) {
        state.SkipWithError("the archiver could not store the application");
        return;
    }
    frmMain window;
    window.show();
    if (!waitFor([&] { return window.stage() == u"NORMAL"; })) {
        state.SkipWithError("the window never reached its steady state");
        return;
    }
    const QString started = catalog.path() + QStringLiteral("/started");
    qputenv("VADOK_BENCH_STARTED", QFile::encodeName(started));
    auto* exec = window.findChild<QPushButton*>(QStringLiteral("cmdExec"));
    int run = 0;
    double best = 1e9;
    for (auto _ : state) {
        settings().ExecDir = catalog.path() + QStringLiteral("/exec%1/").arg(run++);
        QDir().mkpath(settings().ExecDir);
        QFile::remove(started);
        window.treeView()->setCurrentItem(
            window.treeView()->node(QString::fromUtf8(StoredApplication::kName)));
        // The run before wrote 90 MB that the disk may still be taking; a user's click never
        // comes right after another expansion of this size, and writes throttled behind it
        // would be measured instead of this run.
        ::sync();
        const auto clicked = std::chrono::system_clock::now();
        exec->click();
        if (!waitFor([&] { return QFile::exists(started); }, 30000)) {
            state.SkipWithError("the application's program never started");
            break;
        }
        QFile record(started);
        record.open(QIODevice::ReadOnly);
        const std::int64_t startedNs = record.readAll().trimmed().toLongLong();
        const std::int64_t clickedNs =
            std::chrono::duration_cast<std::chrono::nanoseconds>(clicked.time_since_epoch()).count();
        const double seconds = double(startedNs - clickedNs) / 1e9;
        best = std::min(best, seconds);
        state.SetIterationTime(seconds);
    }
    qunsetenv("VADOK_BENCH_STARTED");
    // The expansion alone, through the same call 実行 makes, for where the time goes.
    ::sync();
    QElapsedTimer expansion;
    expansion.start();
    const int code = RunUnlha(ExpandCommand(
        settings().PackDir + QString::fromUtf8(StoredApplication::kName) + QStringLiteral(".lzh"),
        catalog.path() + QStringLiteral("/expand-only/"), settings().Config.LhaDialog == 1));
    state.counters["expand_only_ms"] = code == 0 ? double(expansion.nsecsElapsed()) / 1e6 : -1;
    state.counters["best_ms"] = best * 1e3;
}
BENCHMARK(ExecStored)->Arg(90)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void WindowShown(benchmark::State& state) {
    const QString self = QCoreApplication::applicationFilePath();
    for (auto _ : state) {
        QTemporaryDir folder;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        child.start(self, {QStringLiteral("--show-window"), folder.path()});
        bool shown = false;
        while (!shown && child.waitForReadyRead(10000))
            shown = child.readAll().contains("shown");
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        child.waitForFinished(10000);
        if (!shown) {
            state.SkipWithError("the child never showed its window");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
    }
}
BENCHMARK(WindowShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The child of WindowShown: what start-up does before the window, then the window, then out.
int showWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    setProgramFolder(QString::fromLocal8Bit(argv[2]));
    PrepareDataFile();
    LoadSettings();
    frmMain window;
    window.show();
    QTimer::singleShot(0, [] {
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && qstrcmp(argv[1], "--show-window") == 0)
        return showWindow(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window keeps a full-text index and scaled icons per program folder in the cache
    // folder: each run's would stay in the user's for good, one per temporary folder.
    QTemporaryDir cache;
    if (cache.isValid())
        qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

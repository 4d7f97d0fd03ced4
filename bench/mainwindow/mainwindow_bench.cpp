// Run offscreen: QT_QPA_PLATFORM=offscreen bench_mainwindow
//
// WindowShown     a fresh process (this program with --show-window) from its start until the
//                 window is on the screen; the catalog is the new-file template.
// LoadTree/N      rebuilding the tree of N applications in 100 folders.
// IconLoading/N   loading N queued icons; the counter max_input_wait_ms is the longest time
//                 a timer waiting to run (standing for user input) was kept waiting.
// SearchTyping/N  typing into the search box of a window showing N applications.

#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "catalog/xmldocument.h"
#include "mainwindow/frmmain.h"
#include "platform/programfolder.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

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

void IconLoading(benchmark::State& state) {
    Catalog catalog(int(state.range(0)), true);
    frmMain window;
    window.show();
    if (!waitFor([&] { return window.stage() == u"NORMAL"; })) {
        state.SkipWithError("the window never reached its steady state");
        return;
    }
    double longestWait = 0;
    for (auto _ : state) {
        state.PauseTiming();
        window.LoadTree(); // queues the icons again
        state.ResumeTiming();
        // A zero timer is due at once; how late it runs is how long input would wait.
        QElapsedTimer sinceDue;
        QTimer heartbeat;
        heartbeat.setInterval(0);
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            longestWait = std::max(longestWait, double(sinceDue.nsecsElapsed()) / 1e6);
            sinceDue.restart();
        });
        sinceDue.start();
        heartbeat.start();
        window.LoadIcons();
        heartbeat.stop();
    }
    state.counters["max_input_wait_ms"] = longestWait;
}
BENCHMARK(IconLoading)
    ->Arg(1000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

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
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

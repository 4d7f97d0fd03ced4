// Every data-file operation re-reads and re-writes the whole file; these measure what that
// costs as the catalog grows. Catalogs are generated in a temporary program folder: each
// application has five lines of notes and two alternative commands.

#include "catalog/apprecords.h"
#include "catalog/cp932codec.h"
#include "catalog/datafile.h"
#include "catalog/datafilemerge.h"
#include "catalog/syncbase.h"
#include "catalog/notessearch.h"
#include "catalog/settings.h"
#include "catalog/syncconflicts.h"
#include "catalog/titlematch.h"
#include "catalog/xmldocument.h"
#include "platform/programfolder.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using namespace vadok;

QString appName(int i) {
    return QStringLiteral("アプリ%1").arg(i, 5, 10, QLatin1Char('0'));
}

// The data file of a catalog with count applications in folders (count / 20 + 1 unless
// given). Machines other than 0 have used every tenth application since (a different tenth
// each), and machine 2 has added 50 of its own, as two machines sharing one program folder
// would.
QByteArray catalogXml(int count, int machine = 0, int folders = -1) {
    QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<Vadok dataversion=\"4\">\n"
        "<Config PackDate=\"5\" KeepPos=\"1\" LhaDialog=\"0\" IntoTaskTray=\"0\">"
        "<Pos Left=\"100\" Top=\"100\" Height=\"6090\" Width=\"7935\" LR=\"3130\" wState=\"0\" "
        "narrowHeight=\"5000\" narrowWidth=\"3000\" posUD=\"3500\" DispMode=\"0\" "
        "DispCmdButtons=\"0\"/><Color infoTXT=\"-2147483640\" infoBG=\"-2147483643\" "
        "treeTXT=\"0\" treeBG=\"0\" treeSEL=\"0\" DispInfoNarrow=\"0\" DispStatusNarrow=\"0\" "
        "DispMenuNarrow=\"0\" DispSearchTextBoxAnyTime=\"0\"><infoFont Name=\"IPAGothic\" "
        "Size=\"9\" Bold=\"0\" Ital=\"0\"/><treeFont Name=\"IPAGothic\" Size=\"9\" Bold=\"0\" "
        "Ital=\"0\"/></Color><Folders pack=\"..Pack/\" exec=\"..Exec/\" icon=\"..Icon/\"/>"
        "<Key AppCallEnd=\"16\" FindKey=\"1\"/></Config>\n<Folders>\n");
    if (folders < 0)
        folders = count / 20 + 1;
    for (int f = 0; f < folders; ++f) {
        xml += QStringLiteral("<Folder Name=\"フォルダ%1\" Parent=\"ROOT\" Order=\"%2\">")
                   .arg(f)
                   .arg(f + 1);
        for (int i = f; i < count; i += folders)
            xml += QStringLiteral("<AppItem>%1</AppItem>").arg(appName(i));
        for (int i = 0; machine == 2 && f == 0 && i < 50; ++i)
            xml += QStringLiteral("<AppItem>新%1</AppItem>").arg(i);
        xml += QStringLiteral("</Folder>\n");
    }
    xml += QStringLiteral("</Folders>\n<Apps>\n");
    for (int i = 0; machine == 2 && i < 50; ++i)
        xml += QStringLiteral(
                   "<App><Name>新%1</Name><Fol>フォルダ0</Fol><Date>2026/12/08 1:02:03</Date>"
                   "<Exec>new.exe</Exec><NonPack>False</NonPack></App>\n")
                   .arg(i);
    for (int i = 0; i < count; ++i) {
        xml += QStringLiteral(
                   "<App><Name>%1</Name><Fol>フォルダ%2</Fol><Date>2024/05/06 7:08:09</Date>"
                   "<Exec>bin/tool%3.exe -q</Exec><NonPack>False</NonPack><Text>")
                   .arg(appName(i))
                   .arg(i % folders)
                   .arg(i);
        if (machine != 0 && i % 10 == machine)
            xml.replace(
                xml.size() - 120, 120,
                xml.right(120).replace(QStringLiteral("2024/05/06"), QStringLiteral("2026/12/08")));
        for (int line = 0; line < 5; ++line)
            xml += QStringLiteral(
                       "<Line>使い方 %1 行目: ①～㈱ オプション -%2 を付けて起動します。%3</Line>")
                       .arg(line + 1)
                       .arg(line)
                       .arg(i % 100 == 0 && line == 3 ? QStringLiteral(" needle") : QString());
        xml += QStringLiteral("</Text><SubExec><Cmd>bin/tool%1.exe -a</Cmd><Cmd>bin/setup.exe</Cmd>"
                              "</SubExec></App>\n")
                   .arg(i);
    }
    xml += QStringLiteral("</Apps>\n</Vadok>\n");
    return Cp932Codec::instance().fromUnicode(xml);
}

// Writes vadok.xml with count applications into a fresh program folder.
class GeneratedCatalog {
public:
    explicit GeneratedCatalog(int count) {
        setProgramFolder(m_dir.path());
        QFile file(dataFilePath());
        file.open(QIODevice::WriteOnly);
        file.write(catalogXml(count));
    }
    QString lastName(int count) const { return appName(count - 1); }

private:
    QTemporaryDir m_dir;
};

void BM_FindAppByName(benchmark::State& state) {
    const int count = int(state.range(0));
    GeneratedCatalog catalog(count);
    const QString last = catalog.lastName(count); // worst case: the last record
    for (auto _ : state) {
        AppRecord app;
        benchmark::DoNotOptimize(FindAppByName(last, app));
    }
}

void BM_SaveAppRecord(benchmark::State& state) {
    const int count = int(state.range(0));
    GeneratedCatalog catalog(count);
    AppRecord app;
    FindAppByName(appName(count / 2), app);
    int round = 0;
    for (auto _ : state) {
        app.ExecCmd = QStringLiteral("bin/tool.exe -%1").arg(++round % 2);
        benchmark::DoNotOptimize(SaveAppRecord(app));
    }
}

void BM_SearchNotes(benchmark::State& state) {
    GeneratedCatalog catalog(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(SearchNotes(QStringLiteral("needle")));
}

// Three letters typed into the search box: every keystroke searches the titles again.
void BM_SearchTitles(benchmark::State& state) {
    GeneratedCatalog catalog(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(SearchTitles(QStringLiteral("リ01")));
}

void BM_LoadSettings(benchmark::State& state) {
    GeneratedCatalog catalog(int(state.range(0)));
    for (auto _ : state) {
        LoadSettings();
        benchmark::DoNotOptimize(settings().Config.PackDate);
    }
}

// Parsing the data file, a conflict copy and their common version (second argument 0), and
// merging the copy in (1): the difference is what the merge itself costs. The third argument
// is the number of folders.
void BM_MergeDataFiles(benchmark::State& state) {
    const int count = int(state.range(0));
    const int folders = int(state.range(2));
    const QByteArray base = catalogXml(count, 0, folders), ours = catalogXml(count, 1, folders),
                     theirs = catalogXml(count, 2, folders);
    for (auto _ : state) {
        XmlDocument b, o, t;
        b.loadBytes(base);
        o.loadBytes(ours);
        t.loadBytes(theirs);
        if (state.range(1) == 0)
            continue;
        const MergeReport report = mergeDataFiles(o, t, b);
        if (report.taken.size() != count / 10 + 50)
            state.SkipWithError("the merge did not take the copy's changes");
    }
}

// Folders each inside the one before: the copy moves the deepest under the root. Nothing
// in the merge may follow the chain by recursion, nor compare it with itself.
void BM_MergeNestedFolders(benchmark::State& state) {
    const auto chain = [depth = int(state.range(0))](bool movedDeepest) {
        QString xml = QStringLiteral("<?xml version=\"1.0\"?><Vadok dataversion=\"4\"><Folders>");
        for (int f = 0; f < depth; ++f) {
            const QString parent = f == 0 || (movedDeepest && f == depth - 1)
                                       ? QStringLiteral("ROOT")
                                       : QStringLiteral("F%1").arg(f - 1);
            xml += QStringLiteral("<Folder Name=\"F%1\" Parent=\"%2\" Order=\"1\"/>").arg(f).arg(parent);
        }
        return (xml + QStringLiteral("</Folders><Apps/></Vadok>")).toUtf8();
    };
    const QByteArray base = chain(false), theirs = chain(true);
    for (auto _ : state) {
        XmlDocument b, o, t;
        b.loadBytes(base);
        o.loadBytes(base);
        t.loadBytes(theirs);
        if (mergeDataFiles(o, t, b).taken.size() != 1)
            state.SkipWithError("the merge did not take the move");
    }
}

// The whole step as the window runs it: finding the copy, reading the version both had,
// merging, the atomic save and the move to the trash.
void BM_MergeSyncConflicts(benchmark::State& state) {
    const int count = int(state.range(0));
    GeneratedCatalog catalog(count);
    QTemporaryDir trash, cache, config;
    qputenv("XDG_DATA_HOME", trash.path().toUtf8());
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const auto write = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
    };
    rememberSharedVersion(catalogXml(count));
    const QString copy = QFileInfo(dataFilePath()).path() +
                         QStringLiteral("/vadok.sync-conflict-20261208-101500-ABCDEFG.xml");
    for (auto _ : state) {
        state.PauseTiming();
        write(dataFilePath(), catalogXml(count, 1));
        write(copy, catalogXml(count, 2));
        state.ResumeTiming();
        if (MergeSyncConflicts().merged != 1)
            state.SkipWithError("the copy was not merged");
    }
}

BENCHMARK(BM_MergeDataFiles)
    ->Args({5000, 0, 1000})
    ->Args({5000, 1, 1000})
    ->Args({0, 0, 80000})
    ->Args({0, 1, 80000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeNestedFolders)->Arg(60000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeSyncConflicts)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindAppByName)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveAppRecord)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchNotes)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchTitles)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSettings)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

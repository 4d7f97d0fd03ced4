// The catalog: 1,000 applications, each with a few lines of notes and an archive holding
// readme.txt (UTF-8 or Shift_JIS) and doc/manual.html, 50 KB of text per application, 50 MB
// in all. Words come from a vocabulary of 4,000 made-up English and katakana words drawn
// with a skew, so that some are in every text and most in few; each readme also holds a
// word of its own ("marker0042"). The archives are stored by our own archiver.
//
// BM_PageText turns one page of a megabyte into text, ordinary or hostile.
// BM_BuildIndex builds the index from nothing (bytes_per_second is text read per second);
// peak_rss_mb is the process's peak resident memory after it, base_rss_mb the resident
// memory before the first build. BM_RefreshUnchanged is a pass that finds nothing to do;
// BM_Query answers one query over the built index.

#include "archiver/archiver.h"
#include "catalog/apprecords.h"
#include "catalog/cp932codec.h"
#include "catalog/datafile.h"
#include "catalog/datafilecache.h"
#include "catalog/settings.h"
#include "fulltext/fulltextsearch.h"
#include "fulltext/pagetext.h"
#include "platform/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdint>
#include <memory>

namespace {

using namespace vadok;

constexpr int kApps = 1000;
constexpr int kTextPerApp = 40 * 1000; // characters; about 50 KB as stored
constexpr int kVocabulary = 4000;

double cpuSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double peakRssMb() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

class Words {
public:
    Words() {
        static const char* const latin[] = {"ka", "ri", "to", "me", "sa", "no", "ru", "pi",
                                            "zo", "ne", "mu", "ta", "ki", "lo", "be", "xa"};
        static const char16_t kana[] = u"アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモラリルレロ";
        for (int i = 0; i < kVocabulary; ++i) {
            QString w;
            const int syllables = 2 + static_cast<int>(next() % 3);
            const bool japanese = i % 3 == 0;
            for (int s = 0; s < syllables; ++s) {
                if (japanese)
                    w += QChar(kana[next() % (std::size(kana) - 1)]);
                else
                    w += QLatin1String(latin[next() % 16]);
            }
            m_words.append(w);
        }
    }
    // Skewed: the first words come far more often than the last.
    const QString& pick() {
        const double u = static_cast<double>(next() % 1000000) / 1000000.0;
        return m_words[static_cast<int>(u * u * u * kVocabulary)];
    }
    const QString& at(int i) const { return m_words[i]; }
    std::uint64_t next() {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return m_state >> 33;
    }

private:
    QStringList m_words;
    std::uint64_t m_state = 42;
};

QString prose(Words& words, int characters) {
    QString text;
    int inLine = 0;
    while (text.size() < characters) {
        text += words.pick();
        if (++inLine == 12) {
            text += QStringLiteral("\r\n");
            inLine = 0;
        } else {
            text += u' ';
        }
    }
    return text;
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

class Corpus {
public:
    static Corpus& get() {
        static Corpus corpus;
        return corpus;
    }
    qint64 textBytes = 0;
    double baseRss = 0;
    QString dbPath;

private:
    Corpus() {
        setProgramFolder(m_dir.path());
        PrepareDataFile();
        settings() = Settings();
        LoadSettings();
        Words words;
        DataFileEdit edit;
        XmlElement apps = edit.doc().documentElement().firstChild(QStringLiteral("Apps"));
        for (int i = 0; i < kApps; ++i) {
            const QString title = QStringLiteral("Tool %1 %2").arg(i).arg(words.pick());
            XmlElement app = apps.appendChild(QStringLiteral("App"));
            app.appendChild(QStringLiteral("Name")).setText(title);
            app.appendChild(QStringLiteral("Fol")).setText(QStringLiteral("ROOT"));
            XmlElement text = app.appendChild(QStringLiteral("Text"));
            for (int line = 0; line < 3; ++line)
                text.appendChild(QStringLiteral("Line")).setText(prose(words, 60).simplified());

            const QString source = m_scratch.path() + QStringLiteral("/app");
            QDir(source).removeRecursively();
            QString readme = QStringLiteral("marker%1\r\n").arg(i, 4, 10, QLatin1Char('0')) +
                             prose(words, kTextPerApp * 7 / 10);
            const QByteArray readmeBytes = i % 2 ? Cp932Codec::instance().fromUnicode(readme)
                                                 : readme.toUtf8();
            const QByteArray page = "<html><body><h1>Manual</h1><p>" +
                                    prose(words, kTextPerApp * 3 / 10).toUtf8() +
                                    "</p></body></html>";
            writeBytes(source + QStringLiteral("/readme.txt"), readmeBytes);
            writeBytes(source + QStringLiteral("/doc/manual.html"), page);
            writeBytes(source + QStringLiteral("/tool.exe"), QByteArray(20000, 'x'));
            textBytes += readmeBytes.size() + page.size();
            const std::string archive =
                QFile::encodeName(settings().PackDir + title + QStringLiteral(".lzh")).toStdString();
            const int code = Unlha(nullptr,
                                   "u -d1 -y1 -h2 -jm2 -n \"" + archive + "\" \"" +
                                       QFile::encodeName(source).toStdString() + "/\" *",
                                   nullptr, 0);
            if (code != ArchiverOk)
                qFatal("cannot store %s: %x", QByteArray::fromStdString(archive).toHex().constData(), code);
        }
        edit.save();
        dbPath = m_dir.path() + QStringLiteral("/index.db");
        // To look at the corpus and its index afterwards.
        m_dir.setAutoRemove(qEnvironmentVariableIsEmpty("VADOK_BENCH_KEEP"));
        baseRss = peakRssMb();
    }
    QTemporaryDir m_dir;
    QTemporaryDir m_scratch;
};

FullTextOptions options(const Corpus& corpus) {
    FullTextOptions o;
    o.path = corpus.dbPath;
    return o;
}

void removeIndex(const QString& path) {
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

void BM_BuildIndex(benchmark::State& state) {
    Corpus& corpus = Corpus::get();
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        removeIndex(corpus.dbPath);
        const double cpuBefore = cpuSeconds();
        state.ResumeTiming();
        FullTextSearch index(nullptr, options(corpus));
        index.refresh();
        index.waitUntilIdle();
        cpu += cpuSeconds() - cpuBefore;
    }
    state.SetBytesProcessed(state.iterations() * corpus.textBytes);
    // CPU time as well: on a machine busy with other work the wall time says little.
    state.counters["cpu_mb_per_s"] = state.iterations() * corpus.textBytes / 1e6 / cpu;
    state.counters["text_mb"] = corpus.textBytes / 1e6;
    state.counters["base_rss_mb"] = corpus.baseRss;
    state.counters["peak_rss_mb"] = peakRssMb();
    state.counters["index_mb"] = QFileInfo(corpus.dbPath).size() / 1e6;
}

// A pass over the built index when nothing changed: one stat per archive and a compare.
void BM_RefreshUnchanged(benchmark::State& state) {
    Corpus& corpus = Corpus::get();
    FullTextSearch index(nullptr, options(corpus));
    if (!QFileInfo::exists(corpus.dbPath)) {
        index.refresh();
        index.waitUntilIdle();
    }
    for (auto _ : state) {
        index.refresh();
        index.waitUntilIdle();
    }
}

void BM_Query(benchmark::State& state, const char* query) {
    Corpus& corpus = Corpus::get();
    static std::unique_ptr<FullTextSearch> index;
    if (!index) {
        index = std::make_unique<FullTextSearch>(nullptr, options(corpus));
        if (!QFileInfo::exists(corpus.dbPath)) {
            index->refresh();
            index->waitUntilIdle();
        }
    }
    std::size_t found = 0;
    for (auto _ : state)
        found = index->query(QString::fromUtf8(query)).hits.size();
    state.counters["found"] = static_cast<double>(found);
}

// One page as large as a bundled text may be, turned into text: an ordinary one, and the
// hostile ones that made the hand-written scan before libxml2 spend minutes each.
QByteArray page(const char* kind) {
    constexpr int kSize = 1024 * 1024;
    const auto repeated = [](const char* piece, int bytes) {
        QByteArray b;
        while (b.size() < bytes)
            b += piece;
        return b;
    };
    const QByteArray k(kind);
    if (k == "ordinary") {
        Words words;
        QByteArray html = "<html><body>";
        while (html.size() < kSize)
            html += "<p>" + prose(words, 400).toUtf8() + " &amp; <b>bold</b></p>\n";
        return html + "</body></html>";
    }
    if (k == "deep_then_stray")
        return repeated("<div>", kSize / 2) + repeated("</span>", kSize / 2);
    return repeated(kind, kSize);
}

void BM_PageText(benchmark::State& state, const char* kind) {
    const QString html = QString::fromUtf8(page(kind));
    qsizetype characters = 0;
    for (auto _ : state)
        characters = textOfPage(html).size();
    state.SetBytesProcessed(state.iterations() * html.size());
    state.counters["text_characters"] = static_cast<double>(characters);
}

} // namespace

BENCHMARK_CAPTURE(BM_PageText, ordinary, "ordinary")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PageText, lone_less_than, "<")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PageText, lone_ampersand, "&")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PageText, deep_then_stray, "deep_then_stray")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildIndex)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_RefreshUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Query, common_word, "kari")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Query, rare_word, "marker0042")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Query, two_words, "karito meno")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Query, full_width, "ＭＡＮＵＡＬ")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Query, two_characters, "zo")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Query, one_character, "ア")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Query, nothing_found, "qqqqq")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // A katakana word of the vocabulary, among the common ones.
    static const std::string katakana = Words().at(3).toStdString();
    benchmark::RegisterBenchmark("BM_Query/katakana",
                                 [](benchmark::State& state) { BM_Query(state, katakana.c_str()); })
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

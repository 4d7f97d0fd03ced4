// Builds a corpus that looks like an application folder (ELF programs and libraries from
// /usr/bin and /usr/lib, text, PNG images, thousands of small files in nested folders) and
// prints, in one run: our store time, size and ratio beside jlha -lh7- and gzip -6; our
// re-store after 1% of the files changed, beside the store of those files alone (what no
// re-store can go below); our expand beside bsdtar -xf; peak memory, also of
// expanding a million empty members; the time the main window takes to show the icons of
// 5,000 applications (bench_mainwindow, when built); and the table of what the archiver aims
// for, each ratio beside its goal.
// Every program runs as a child process so time and peak RSS are measured alike.
//
//   archiver_bench [corpus MB, default 90] [work folder, default a temporary one]
//     (a work folder must be new, empty or one this bench made: each run clears it)
//   archiver_bench --decoding      only the decoding speed per LZH method (decodebench.cpp)
//   VADOK_ARCHIVER_TOOL=<path> archiver_bench ...   measures another build of vadok-archiver
//   VADOK_MAINWINDOW_BENCH=<path> archiver_bench ... takes the icon figures from another build
//   VADOK_BENCH_MEMBERS=<count>    the many-members case at another count (0 leaves it out)
//
// Two states of the machine move the figures (both seen on the 2-core CI machine):
// - Expansions run three times slower for minutes after many files were deleted (this bench
//   deletes its work folder when it ends): ext4 without a journal checks every recently
//   freed inode when it creates one. Leave five quiet minutes between runs.
// - The re-store is mostly name lookups, which slow down once the kernel's name cache holds
//   hundreds of thousands of names of deleted files (every run adds tens of thousands): the
//   scan of the corpus took 25 ms instead of 15 with 950,000 cached names.

#include "appcorpus.h"
#include "decodebench.h"
#include "memberarchive.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Run {
    double seconds = 0;
    double cpuSeconds = 0;
    long peakKiB = 0;
    int status = -1;
};

// Programs are started by a small helper process forked before the corpus is built: a
// child's peak RSS counts what it inherited before exec, and the helper inherits almost
// nothing, so the figure is the program's own.
int toHelper = -1;
int fromHelper = -1;

Run runDirect(const std::string& command) {
    Run r;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.peakKiB = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

void startHelper() {
    int down[2], up[2];
    if (::pipe(down) != 0 || ::pipe(up) != 0)
        std::abort();
    if (::fork() == 0) {
        ::close(down[1]);
        ::close(up[0]);
        while (true) {
            std::uint32_t length = 0;
            if (::read(down[0], &length, sizeof length) != sizeof length)
                ::_exit(0);
            std::string command(length, '\0');
            std::size_t got = 0;
            while (got < length) {
                const ssize_t n = ::read(down[0], command.data() + got, length - got);
                if (n <= 0)
                    ::_exit(0);
                got += static_cast<std::size_t>(n);
            }
            const Run r = runDirect(command);
            if (::write(up[1], &r, sizeof r) != sizeof r)
                ::_exit(1);
        }
    }
    ::close(down[0]);
    ::close(up[1]);
    toHelper = down[1];
    fromHelper = up[0];
}

Run runShell(const std::string& command) {
    const auto length = static_cast<std::uint32_t>(command.size());
    Run r;
    if (::write(toHelper, &length, sizeof length) != sizeof length ||
        ::write(toHelper, command.data(), command.size()) != static_cast<ssize_t>(command.size()) ||
        ::read(fromHelper, &r, sizeof r) != sizeof r)
        std::abort();
    return r;
}

std::string q(const std::string& s) {
    return "'" + s + "'";
}

// Every hundredth file gets new bytes (same size) and a new time.
constexpr std::size_t kChangedEvery = 100;

void touchOnePercent(const std::vector<fs::path>& files) {
    for (std::size_t i = 0; i < files.size(); i += kChangedEvery) {
        std::fstream f(files[i], std::ios::in | std::ios::out | std::ios::binary);
        char c = 0;
        f.read(&c, 1);
        f.seekp(0);
        c = static_cast<char>(c ^ 0x20);
        f.write(&c, 1);
    }
}

double mb(std::uint64_t bytes) {
    return static_cast<double>(bytes) / 1e6;
}

// Wall times swing with what else runs on the cores; runs that repeat keep the better one.
Run best(const Run& a, const Run& b) {
    return b.seconds < a.seconds ? b : a;
}

// The corpus and the archiver measured on it.
struct Bench {
    fs::path work;
    fs::path corpus;
    std::uint64_t bytes = 0; // the corpus's
    std::vector<fs::path> files;
    std::string tool; // the vadok-archiver measured
    std::string ours; // its archive of the corpus

    std::string storeCommand() const { return storeCommand(ours, corpus); }

    std::string storeCommand(const std::string& archive, const fs::path& folder) const {
        return q(tool) + " lha " +
               q("u -d1 -y1 -h2 -jm2 -n \"" + archive + "\" \"" + folder.string() + "/\" *") +
               " >/dev/null";
    }

    void row(const char* name, const Run& r, std::uint64_t size) const {
        std::printf("%-28s %8.2f %8.2f %8.1f %8.1f %7.1f%% %7.1f MB%s\n", name, r.seconds,
                    r.cpuSeconds, mb(bytes) / r.seconds, mb(size),
                    size ? 100.0 * static_cast<double>(size) / static_cast<double>(bytes) : 0.0,
                    static_cast<double>(r.peakKiB) / 1024.0, r.status == 0 ? "" : "  (FAILED)");
    }
};

// Marks a work folder as this bench's own: a later run may clear it, and no other folder.
constexpr const char* kWorkMark = ".archiver-bench";

void buildCorpus(Bench& b, std::uint64_t targetMB) {
    // A folder named on the command line may be anyone's: clearing one that holds other files
    // would delete them.
    std::error_code ec;
    const bool clearable =
        !fs::exists(b.work) ||
        (fs::is_directory(b.work) &&
         ((fs::is_empty(b.work, ec) && !ec) || fs::exists(b.work / kWorkMark)));
    if (!clearable) {
        std::fprintf(stderr,
                     "archiver_bench: %s is not a folder this bench made; name a new or "
                     "empty folder\n",
                     b.work.c_str());
        std::exit(2);
    }
    fs::remove_all(b.work);
    fs::create_directories(b.work);
    std::ofstream(b.work / kWorkMark).put('\n');
    b.corpus = b.work / "corpus";
    std::printf("building a %llu MB corpus in %s ...\n", static_cast<unsigned long long>(targetMB),
                b.corpus.c_str());
    vadok::bench::buildAppCorpus(b.corpus, targetMB * 1000000);
    b.bytes = vadok::bench::folderBytes(b.corpus, &b.files);
    std::sort(b.files.begin(), b.files.end());
    std::printf("corpus: %.1f MB in %zu files\n\n", mb(b.bytes), b.files.size());
    runShell("sync");
}

struct StoreFigures {
    Run store;
    Run gzip;
    std::uint64_t jlhaSize = 0;
};

// Our store beside jlha's and gzip's; each of our runs and gzip's is repeated and the better
// one counts (jlha takes minutes, it runs once).
StoreFigures measureStores(const Bench& b) {
    StoreFigures f;
    f.store = runShell(b.storeCommand());
    fs::remove(b.ours);
    f.store = best(f.store, runShell(b.storeCommand()));
    b.row("vadok store (-lh7-)", f.store, fs::file_size(b.ours));

    if (runShell("command -v jlha >/dev/null").status == 0) {
        const std::string j = (b.work / "jlha.lzh").string();
        const Run r =
            runShell("cd " + q(b.corpus.string()) + " && jlha a2o7 " + q(j) + " . >/dev/null 2>&1");
        f.jlhaSize = fs::exists(j) ? fs::file_size(j) : 0;
        b.row("jlha -lh7- (level 2)", r, f.jlhaSize);
    } else {
        std::printf("%-28s not installed\n", "jlha -lh7-");
    }
    const std::string g = (b.work / "corpus.tar.gz").string();
    const std::string gzipCmd = "tar -C " + q(b.corpus.string()) + " -cf - . | gzip -6 > " + q(g);
    f.gzip = best(runShell(gzipCmd), runShell(gzipCmd));
    b.row("tar | gzip -6", f.gzip, fs::file_size(g));
    return f;
}

// Each re-store follows a change of its own, made a second after the last store so that the
// changed files carry a newer time; the best of three counts, as for the stores.
Run measureRestores(const Bench& b) {
    Run restore;
    for (int round = 0; round < 3; ++round) {
        ::sleep(1);
        touchOnePercent(b.files);
        const Run r = runShell(b.storeCommand());
        restore = round == 0 ? r : best(restore, r);
    }
    b.row("vadok re-store, 1% changed", restore, fs::file_size(b.ours));
    return restore;
}

// What no re-store can go below: storing only the files it has to compress again (a hundredth
// of the files, but more of the bytes), in a folder of their own.
struct ChangedAlone {
    Run store;
    double shareOfBytes = 0; // of the corpus's
};

ChangedAlone measureChangedFilesAlone(const Bench& b) {
    const fs::path alone = b.work / "changed-alone";
    const std::string archive = (b.work / "changed-alone.lzh").string();
    fs::remove_all(alone);
    fs::remove(archive);
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < b.files.size(); i += kChangedEvery) {
        const fs::path to = alone / b.files[i].lexically_relative(b.corpus);
        fs::create_directories(to.parent_path());
        fs::copy_file(b.files[i], to);
        bytes += fs::file_size(to);
    }
    runShell("sync");
    const Run first = runShell(b.storeCommand(archive, alone));
    fs::remove(archive);
    const Run r = best(first, runShell(b.storeCommand(archive, alone)));
    b.row("vadok store, changed alone", r, fs::file_size(archive));
    const double share = static_cast<double>(bytes) / static_cast<double>(b.bytes);
    std::printf("%-28s %.1f MB, %.1f%% of the corpus's bytes\n", "  (the changed files)", mb(bytes),
                100.0 * share);
    fs::remove_all(alone);
    fs::remove(archive);
    return {r, share};
}

struct ExpandFigures {
    Run ours;
    Run bsdtar;
    bool same = false; // both expanded trees equal the corpus
};

// ext4 without a journal skips inodes freed in the last half minute when it creates files, at
// a cost that grows with how many were freed; so no expansion follows a deletion: each round
// writes into folders of its own, removed at the end. The two programs take turns at going
// first.
ExpandFigures measureExpansions(const Bench& b) {
    constexpr int kRounds = 3;
    auto expandOurs = [&](const fs::path& out) {
        return runShell(q(b.tool) + " lha " +
                        q("x -d1 -y1 -n \"" + b.ours + "\" \"" + out.string() + "/\" *") +
                        " >/dev/null");
    };
    auto expandTar = [&](const fs::path& out) {
        fs::create_directories(out);
        return runShell("cd " + q(out.string()) + " && bsdtar -xf " + q(b.ours));
    };
    runShell("sync");
    ExpandFigures f;
    for (int round = 0; round < kRounds; ++round) {
        const fs::path a = b.work / ("out-ours-" + std::to_string(round));
        const fs::path t = b.work / ("out-bsdtar-" + std::to_string(round));
        const Run first = round % 2 ? expandTar(t) : expandOurs(a);
        const Run second = round % 2 ? expandOurs(a) : expandTar(t);
        const Run& oursRun = round % 2 ? second : first;
        const Run& tarRun = round % 2 ? first : second;
        f.ours = round == 0 ? oursRun : best(f.ours, oursRun);
        f.bsdtar = round == 0 ? tarRun : best(f.bsdtar, tarRun);
    }
    b.row("vadok expand", f.ours, 0);
    b.row("bsdtar -xf (same archive)", f.bsdtar, 0);
    const std::string outOurs = (b.work / "out-ours-0").string();
    f.same =
        runShell("diff -r " + q(outOurs) + " " + q((b.work / "out-bsdtar-0").string()) +
                 " >/dev/null")
                .status == 0 &&
        runShell("diff -r " + q(outOurs) + " " + q(b.corpus.string()) + " >/dev/null").status == 0;
    return f;
}

struct MemberFigures {
    std::uint64_t count = 0; // 0: not measured
    Run expand;
};

// Expanding an archive of many empty members: what memory costs per member. Runs after the
// other expansions, since deleting its folder slows file creation for minutes.
MemberFigures measureManyMembers(const Bench& b) {
    MemberFigures f;
    const char* asked = std::getenv("VADOK_BENCH_MEMBERS");
    f.count = asked && *asked ? std::strtoull(asked, nullptr, 10) : 1000000;
    if (f.count == 0)
        return f;
    const fs::path archive = b.work / "empty-members.lzh";
    const fs::path out = b.work / "out-members";
    vadok::bench::writeEmptyMembersArchive(archive, f.count);
    f.expand = runShell(q(b.tool) + " lha " +
                        q("x -d1 -y1 -n \"" + archive.string() + "\" \"" + out.string() + "/\" *") +
                        " >/dev/null");
    b.row(("expand " + std::to_string(f.count) + " empty members").c_str(), f.expand, 0);
    fs::remove(archive);
    return f;
}

struct IconFigures {
    std::string name; // the benchmark's case
    double shownMs = 0;
    double inputWaitMs = 0;
};

double counter(const std::string& block, const std::string& key) {
    const std::regex pattern("\"" + key + "\": *([0-9.eE+-]+)");
    std::smatch m;
    return std::regex_search(block, m, pattern) ? std::stod(m[1].str()) : -1;
}

// The main window's icon loading, from bench_mainwindow's JSON: each IconLoading case of
// 5,000 applications, the time until every icon shows (real time where a build does not
// count it apart) and the longest wait of input meanwhile.
std::vector<IconFigures> measureIcons(const Bench& b) {
    const char* other = std::getenv("VADOK_MAINWINDOW_BENCH");
    const std::string program = other && *other ? other : VADOK_MAINWINDOW_BENCH;
    std::vector<IconFigures> figures;
    if (!fs::exists(program)) {
        std::printf("%-28s not built (%s)\n", "icons of 5,000 applications", program.c_str());
        return figures;
    }
    const fs::path json = b.work / "icons.json";
    runShell("QT_QPA_PLATFORM=offscreen " + q(program) +
             " --benchmark_filter='IconLoading.*/5000' --benchmark_format=json >" +
             q(json.string()) + " 2>/dev/null");
    std::ifstream in(json);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    const std::regex nameField("\"name\": *\"(IconLoading[^\"]*)\"");
    for (auto it = std::sregex_iterator(all.begin(), all.end(), nameField);
         it != std::sregex_iterator(); ++it) {
        const std::size_t from = static_cast<std::size_t>(it->position(0));
        const std::size_t to = all.find('}', from);
        const std::string block = all.substr(from, to - from);
        IconFigures f;
        f.name = (*it)[1].str();
        f.shownMs = counter(block, "shown_ms");
        if (f.shownMs < 0)
            f.shownMs = counter(block, "real_time");
        f.inputWaitMs = counter(block, "max_input_wait_ms");
        std::printf("%-40s %8.0f ms shown, input waited %.1f ms at most\n", f.name.c_str(),
                    f.shownMs, f.inputWaitMs);
        figures.push_back(f);
    }
    if (figures.empty())
        std::printf("%-28s bench_mainwindow gave no figures\n", "icons of 5,000 applications");
    return figures;
}

void goal(const char* measure, const std::string& now, const char* target, bool met) {
    std::printf("%-40s %-26s %-28s %s\n", measure, now.c_str(), target, met ? "met" : "NOT MET");
}

std::string format(const char* pattern, double a, double b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

void printGoals(const Bench& b, const StoreFigures& stores, const Run& restore,
                const ChangedAlone& changedAlone, const ExpandFigures& expands, const MemberFigures& members,
                const std::vector<IconFigures>& icons) {
    double load[1] = {0};
    ::getloadavg(load, 1);
    std::printf("\nload average during the run: %.2f (other programs share the cores)\n\n", load[0]);
    // On shared cores wall times swing with the neighbours' load; CPU times less so, and each
    // ratio is printed by both.
    const Run& store = stores.store;
    const double sizeRatio = stores.jlhaSize ? static_cast<double>(fs::file_size(b.ours)) /
                                                   static_cast<double>(stores.jlhaSize)
                                             : 0;
    std::printf("%-40s %-26s %-28s\n", "measure", "now (wall, cpu)", "goal");
    const double speedUp = stores.gzip.seconds / store.seconds;
    goal("store speed against tar | gzip -6",
         format("%.2fx, cpu %.2fx", speedUp, stores.gzip.cpuSeconds / store.cpuSeconds), ">= 3x",
         speedUp >= 3);
    if (stores.jlhaSize)
        goal("store size against jlha -lh7-", format("%.4f", sizeRatio), "<= 1", sizeRatio <= 1);
    const double restoreRatio = restore.seconds / store.seconds;
    goal("re-store, 1% changed, against a store",
         format("%.3f, cpu %.3f", restoreRatio, restore.cpuSeconds / store.cpuSeconds), "<= 0.03",
         restoreRatio <= 0.03);
    std::printf("%-40s %-26s\n", "  floor: the changed files stored alone",
                format("%.3f, cpu %.3f", changedAlone.store.seconds / store.seconds,
                       changedAlone.store.cpuSeconds / store.cpuSeconds)
                    .c_str());
    // A store's time goes with the bytes it compresses: even at the whole store's own speed,
    // compressing the changed bytes takes their share of it.
    std::printf("%-40s %-26s\n", "  floor: the changed bytes' share",
                format("%.3f", changedAlone.shareOfBytes).c_str());
    const double expandRatio = expands.ours.seconds / expands.bsdtar.seconds;
    goal("expansion against bsdtar",
         format("%.2f, cpu %.2f", expandRatio, expands.ours.cpuSeconds / expands.bsdtar.cpuSeconds),
         "<= 0.25", expandRatio <= 0.25);
    if (members.count) {
        const double peakMB = static_cast<double>(members.expand.peakKiB) / 1024.0;
        goal(("peak memory, " + std::to_string(members.count) + " empty members").c_str(),
             format("%.1f MB", peakMB), "< 64 MB (a million)",
             members.expand.status == 0 && peakMB < 64);
    }
    for (const IconFigures& f : icons)
        goal(("icons shown, " + f.name.substr(0, f.name.find("/iterations"))).c_str(),
             format("%.0f ms, input %.1f ms", f.shownMs, f.inputWaitMs), "< 1000 ms, input <= 16 ms",
             f.shownMs < 1000 && f.inputWaitMs >= 0 && f.inputWaitMs <= 16);
    std::printf("expanded trees identical to the corpus: %s\n", expands.same ? "yes" : "NO");
}

fs::path temporaryWorkFolder() {
    return fs::temp_directory_path() / ("vadok-bench-" + std::to_string(::getpid()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--decoding") {
        const fs::path work = temporaryWorkFolder();
        fs::create_directories(work);
        vadok::bench::printDecodingFigures(work);
        fs::remove_all(work);
        return 0;
    }
    startHelper();
    Bench b;
    b.work = argc > 2 ? fs::path(argv[2]) : temporaryWorkFolder();
    buildCorpus(b, argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 90);
    // VADOK_ARCHIVER_TOOL=<another build's vadok-archiver> measures that build instead.
    const char* otherTool = std::getenv("VADOK_ARCHIVER_TOOL");
    b.tool = otherTool && *otherTool ? otherTool : VADOK_ARCHIVER_TOOL;
    b.ours = (b.work / "ours.lzh").string();
    std::printf("%-28s %8s %8s %8s %8s %8s %10s\n", "", "seconds", "cpu s", "MB/s", "size MB",
                "ratio", "peak RSS");
    const StoreFigures stores = measureStores(b);
    const Run restore = measureRestores(b);
    const ChangedAlone changedAlone = measureChangedFilesAlone(b);
    const ExpandFigures expands = measureExpansions(b);
    const std::vector<IconFigures> icons = measureIcons(b);
    const MemberFigures members = measureManyMembers(b);
    printGoals(b, stores, restore, changedAlone, expands, members, icons);
    vadok::bench::printDecodingFigures(b.work);
    if (argc <= 2)
        fs::remove_all(b.work);
    return expands.same ? 0 : 1;
}

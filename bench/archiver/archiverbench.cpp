// Builds a corpus that looks like an application folder (ELF programs and libraries from
// /usr/bin and /usr/lib, text, PNG images, thousands of small files in nested folders) and
// prints, in one run: our store time, size and ratio beside jlha -lh7- and gzip -6; our
// re-store after 1% of the files changed; our expand beside bsdtar -xf; peak memory.
// Every program runs as a child process so time and peak RSS are measured alike.
//
//   archiver_bench [corpus MB, default 90] [work folder, default a temporary one]

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
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

bool isElf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    char magic[4] = {};
    in.read(magic, 4);
    return in.gcount() == 4 && magic[0] == 0x7f && magic[1] == 'E' && magic[2] == 'L' &&
           magic[3] == 'F';
}

std::uint64_t copyMatching(const std::vector<std::string>& roots, const fs::path& dest,
                           std::uint64_t budget, bool (*accept)(const fs::path&),
                           std::uint64_t maxFile) {
    std::vector<fs::path> files;
    for (const auto& root : roots) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(
                 root, fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (ec)
                break;
            if (it->is_regular_file(ec) && !it->is_symlink(ec))
                files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    std::uint64_t total = 0;
    for (const auto& f : files) {
        std::error_code ec;
        const auto size = fs::file_size(f, ec);
        if (ec || size == 0 || size > maxFile || total + size > budget || !accept(f))
            continue;
        const fs::path target = dest / f.relative_path();
        fs::create_directories(target.parent_path(), ec);
        if (fs::copy_file(f, target, fs::copy_options::overwrite_existing, ec))
            total += size;
        if (total >= budget)
            break;
    }
    return total;
}

std::uint64_t folderBytes(const fs::path& root, std::vector<fs::path>* files = nullptr) {
    std::uint64_t total = 0;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file() && !e.is_symlink()) {
            total += e.file_size();
            if (files)
                files->push_back(e.path());
        }
    }
    return total;
}

void buildCorpus(const fs::path& corpus, std::uint64_t targetBytes) {
    const std::uint64_t elf = targetBytes * 60 / 100;
    const std::uint64_t text = targetBytes * 15 / 100;
    const std::uint64_t png = targetBytes * 10 / 100;
    std::uint64_t got =
        copyMatching({"/usr/lib", "/usr/bin"}, corpus / "bin", elf, isElf, 8u << 20);
    got += copyMatching(
        {"/usr/share/doc", "/usr/share/common-licenses", "/usr/share/perl", "/usr/include"},
        corpus / "doc", text,
        [](const fs::path& p) {
            const auto ext = p.extension().string();
            return ext != ".gz" && ext != ".xz" && ext != ".bz2" && !isElf(p);
        },
        1u << 20);
    got += copyMatching(
        {"/usr/share"}, corpus / "images", png,
        [](const fs::path& p) { return p.extension() == ".png"; }, 1u << 20);
    // Thousands of small files in nested folders: settings, scripts, data tables.
    std::mt19937 rng(42);
    const char* words[] = {"value", "window", "option", "enabled", "path", "name", "size",
                           "0",     "1",      "true",   "=",       "\n",   " "};
    int n = 0;
    while (got < targetBytes) {
        const fs::path p = corpus / "data" / ("d" + std::to_string(n % 17)) /
                           ("s" + std::to_string(n % 5)) / ("file" + std::to_string(n) + ".cfg");
        fs::create_directories(p.parent_path());
        std::string content;
        const std::size_t len = 200 + rng() % 6000;
        while (content.size() < len)
            content += words[rng() % 13];
        std::ofstream(p, std::ios::binary) << content;
        got += content.size();
        ++n;
    }
}

void touchOnePercent(const std::vector<fs::path>& files) {
    // Every hundredth file gets new bytes (same size) and a new time.
    for (std::size_t i = 0; i < files.size(); i += 100) {
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

} // namespace

int main(int argc, char** argv) {
    startHelper();
    const std::uint64_t targetMB = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 90;
    fs::path work = argc > 2
                        ? fs::path(argv[2])
                        : fs::temp_directory_path() / ("vadok-bench-" + std::to_string(::getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    const fs::path corpus = work / "corpus";
    std::printf("building a %llu MB corpus in %s ...\n", static_cast<unsigned long long>(targetMB),
                corpus.c_str());
    buildCorpus(corpus, targetMB * 1000000);
    std::vector<fs::path> files;
    const std::uint64_t bytes = folderBytes(corpus, &files);
    std::sort(files.begin(), files.end());
    std::printf("corpus: %.1f MB in %zu files\n\n", mb(bytes), files.size());
    runShell("sync");

    const std::string tool = VADOK_ARCHIVER_TOOL;
    const std::string ours = (work / "ours.lzh").string();
    auto storeCmd = [&](const std::string& archive) {
        return q(tool) + " lha " +
               q("u -d1 -y1 -h2 -jm2 -n \"" + archive + "\" \"" + corpus.string() + "/\" *") +
               " >/dev/null";
    };
    std::printf("%-28s %8s %8s %8s %8s %8s %10s\n", "", "seconds", "cpu s", "MB/s", "size MB",
                "ratio", "peak RSS");
    auto row = [&](const char* name, const Run& r, std::uint64_t size) {
        std::printf("%-28s %8.2f %8.2f %8.1f %8.1f %7.1f%% %7.1f MB%s\n", name, r.seconds,
                    r.cpuSeconds, mb(bytes) / r.seconds, mb(size),
                    size ? 100.0 * static_cast<double>(size) / static_cast<double>(bytes) : 0.0,
                    static_cast<double>(r.peakKiB) / 1024.0, r.status == 0 ? "" : "  (FAILED)");
    };
    const Run store = runShell(storeCmd(ours));
    row("vadok store (-lh7-)", store, fs::file_size(ours));

    if (runShell("command -v jlha >/dev/null").status == 0) {
        const std::string j = (work / "jlha.lzh").string();
        const Run r =
            runShell("cd " + q(corpus.string()) + " && jlha a2o7 " + q(j) + " . >/dev/null 2>&1");
        row("jlha -lh7- (level 2)", r, fs::exists(j) ? fs::file_size(j) : 0);
    } else {
        std::printf("%-28s not installed\n", "jlha -lh7-");
    }
    {
        const std::string g = (work / "corpus.tar.gz").string();
        const Run r = runShell("tar -C " + q(corpus.string()) + " -cf - . | gzip -6 > " + q(g));
        row("tar | gzip -6", r, fs::file_size(g));
    }

    touchOnePercent(files);
    const Run restore = runShell(storeCmd(ours));
    row("vadok re-store, 1% changed", restore, fs::file_size(ours));

    // Creating thousands of files right after thousands were deleted is slow on ext4 (it
    // avoids recently freed inodes), so each expansion runs twice, alternating, and the
    // better time counts.
    const fs::path outOurs = work / "out-ours";
    const fs::path outTar = work / "out-bsdtar";
    Run expand, bsdtar;
    for (int round = 0; round < 2; ++round) {
        fs::remove_all(outOurs);
        fs::remove_all(outTar);
        runShell("sync");
        fs::create_directories(outTar);
        const Run a = runShell(q(tool) + " lha " +
                               q("x -d1 -y1 -n \"" + ours + "\" \"" + outOurs.string() + "/\" *") +
                               " >/dev/null");
        const Run b = runShell("cd " + q(outTar.string()) + " && bsdtar -xf " + q(ours));
        if (round == 0 || a.seconds < expand.seconds)
            expand = a;
        if (round == 0 || b.seconds < bsdtar.seconds)
            bsdtar = b;
    }
    row("vadok expand", expand, 0);
    row("bsdtar -xf (same archive)", bsdtar, 0);
    const bool same =
        runShell("diff -r " + q(outOurs.string()) + " " + q(outTar.string()) + " >/dev/null")
                .status == 0 &&
        runShell("diff -r " + q(outOurs.string()) + " " + q(corpus.string()) + " >/dev/null")
                .status == 0;

    double load[1] = {0};
    ::getloadavg(load, 1);
    std::printf("\nload average during the run: %.2f (other programs share the cores)\n", load[0]);
    // On shared cores wall times swing with the neighbours' load; CPU times less so.
    std::printf("re-store / store: %.3f, cpu %.3f (goal < 0.05)\n", restore.seconds / store.seconds,
                restore.cpuSeconds / store.cpuSeconds);
    std::printf("expand / bsdtar:  %.2f, cpu %.2f (goal <= 1.2)\n", expand.seconds / bsdtar.seconds,
                expand.cpuSeconds / bsdtar.cpuSeconds);
    std::printf("expanded trees identical to the corpus: %s\n", same ? "yes" : "NO");
    if (argc <= 2)
        fs::remove_all(work);
    return same ? 0 : 1;
}

// Builds a corpus that looks like an application folder (ELF programs and libraries from
// /usr/bin and /usr/lib, text, PNG images, thousands of small files in nested folders) and
// prints, in one run: our store time, size and ratio beside jlha -lh7- and gzip -6; our
// re-store after 1% of the files changed; our expand beside bsdtar -xf; peak memory.
// Every program runs as a child process so time and peak RSS are measured alike.
//
//   archiver_bench [corpus MB, default 90] [work folder, default a temporary one]

#include <algorithm>
#include <chrono>
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
    long peakKiB = 0;
    int status = -1;
};

Run runShell(const std::string& command) {
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
    r.peakKiB = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    std::printf("%-28s %9s %10s %8s %9s %10s\n", "", "seconds", "MB/s", "size MB", "ratio",
                "peak RSS");
    auto row = [&](const char* name, const Run& r, std::uint64_t size) {
        std::printf("%-28s %9.2f %10.1f %8.1f %8.1f%% %7.1f MB%s\n", name, r.seconds,
                    mb(bytes) / r.seconds, mb(size),
                    size ? 100.0 * static_cast<double>(size) / static_cast<double>(bytes) : 0.0,
                    r.peakKiB / 1024.0, r.status == 0 ? "" : "  (FAILED)");
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

    const fs::path outOurs = work / "out-ours";
    const fs::path outTar = work / "out-bsdtar";
    fs::create_directories(outTar);
    const Run expand = runShell(q(tool) + " lha " +
                                q("x -d1 -y1 -n \"" + ours + "\" \"" + outOurs.string() + "/\" *") +
                                " >/dev/null");
    row("vadok expand", expand, 0);
    const Run bsdtar = runShell("cd " + q(outTar.string()) + " && bsdtar -xf " + q(ours));
    row("bsdtar -xf (same archive)", bsdtar, 0);
    const bool same =
        runShell("diff -r " + q(outOurs.string()) + " " + q(outTar.string()) + " >/dev/null")
                .status == 0 &&
        runShell("diff -r " + q(outOurs.string()) + " " + q(corpus.string()) + " >/dev/null")
                .status == 0;

    std::printf("\nre-store / store: %.3f (goal < 0.1)\n", restore.seconds / store.seconds);
    std::printf("expand / bsdtar:  %.2f (goal <= 1.2)\n", expand.seconds / bsdtar.seconds);
    std::printf("expanded trees identical to the corpus: %s\n", same ? "yes" : "NO");
    if (argc <= 2)
        fs::remove_all(work);
    return same ? 0 : 1;
}

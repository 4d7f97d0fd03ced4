#include "appcorpus.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <string>

namespace vadok::bench {

namespace fs = std::filesystem;

namespace {

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

} // namespace

std::uint64_t folderBytes(const fs::path& root, std::vector<fs::path>* files) {
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

void buildAppCorpus(const fs::path& corpus, std::uint64_t targetBytes) {
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

} // namespace vadok::bench

// Cost of a list of stand-ins with many records: an expansion of an archive of N links onto
// a file system that holds none (the links refused as the tests refuse them), and the store
// that takes the list back, for growing N. Both must grow with N, not with N squared: the
// figures for N and 2N should differ by about two.
//
//   archiver_standins_bench [largest count, default 20000] [work folder]

#include "archiver/archiver.h"
#include "archiver/files/linkstandins.h"
#include "archiver/store/storejob.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// N small files and a link to each, a hundred to a folder.
void makeFolder(const fs::path& root, unsigned count) {
    char name[64];
    for (unsigned i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "data/d%03u/f%05u", i / 100, i);
        fs::create_directories((root / name).parent_path());
        std::ofstream(root / name) << "file " << i << "\n";
        std::snprintf(name, sizeof name, "links/d%03u/l%05u", i / 100, i);
        fs::create_directories((root / name).parent_path());
        char target[64];
        std::snprintf(target, sizeof target, "../../data/d%03u/f%05u", i / 100, i);
        fs::create_symlink(target, root / name);
    }
}

} // namespace

int main(int argc, char** argv) {
    const unsigned largest = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 20000;
    const fs::path work = argc > 2 ? fs::path(argv[2])
                                   : fs::temp_directory_path() / ("standins-bench-" + std::to_string(::getpid()));
    std::printf("%8s %12s %12s\n", "links", "expand s", "store s");
    for (unsigned count = largest / 4; count <= largest; count *= 2) {
        const fs::path dir = work / std::to_string(count);
        makeFolder(dir / "src", count);
        const std::string archive = (dir / "a.lzh").string();
        if (vadok::archiver::storeFolder(archive, (dir / "src/").string(), {}).code != 0)
            return 1;
        const double expand = secondsOf([&] {
            if (vadok::Unlha("x -d1 -y1 -n \"" + archive + "\" \"" + (dir / "out/").string() + "\" *",
                             vadok::ArchiverSeams{true}) != 0)
                std::exit(1);
        });
        const double store = secondsOf([&] {
            vadok::archiver::storeFolder(archive, (dir / "out/").string(), {});
        });
        std::printf("%8u %12.3f %12.3f\n", count, expand, store);
        fs::remove_all(dir);
    }
    fs::remove_all(work);
    return 0;
}

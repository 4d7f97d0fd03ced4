// Peak memory of expanding archives of many empty members: the cost that grows with the
// number of members rather than with their bytes (names, the listing, the checks). Builds
// LZH archives of N empty files (level-2 headers, names like d012/f0123456) with our header
// writer, expands each with vadok-archiver as a child process and prints its peak RSS, then
// the growth per member between the two largest counts.
//
//   archiver_members_bench [largest count, default 1000000] [work folder]
//   VADOK_ARCHIVER_TOOL=<path> archiver_members_bench ...   measures another build
//
// The goal is a peak under 64 MB for a million members; archiver_bench measures that case
// too, beside the other figures of the archiver.

#include "memberarchive.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
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

Run runTool(const std::string& tool, const std::string& command) {
    Run r;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDOUT_FILENO);
        ::execl(tool.c_str(), tool.c_str(), "lha", command.c_str(), static_cast<char*>(nullptr));
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

} // namespace

int main(int argc, char** argv) {
    const std::uint64_t largest = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const fs::path work = argc > 2 ? fs::path(argv[2])
                                   : fs::temp_directory_path() /
                                         ("vadok-members-" + std::to_string(::getpid()));
    fs::create_directories(work);
    const char* otherTool = std::getenv("VADOK_ARCHIVER_TOOL");
    const std::string tool = otherTool && *otherTool ? otherTool : VADOK_ARCHIVER_TOOL;

    std::printf("%12s %10s %12s\n", "members", "seconds", "peak RSS");
    std::vector<std::pair<std::uint64_t, long>> peaks;
    bool ok = true;
    for (const std::uint64_t count : {largest / 10, largest}) {
        const fs::path archive = work / ("empty-" + std::to_string(count) + ".lzh");
        const fs::path out = work / ("out-" + std::to_string(count));
        vadok::bench::writeEmptyMembersArchive(archive, count);
        const Run r = runTool(tool, "x -d1 -y1 -n \"" + archive.string() + "\" \"" +
                                        out.string() + "/\" *");
        std::printf("%12llu %10.2f %9.1f MB%s\n", static_cast<unsigned long long>(count),
                    r.seconds, static_cast<double>(r.peakKiB) / 1024.0,
                    r.status == 0 ? "" : "  (FAILED)");
        std::fflush(stdout);
        ok = ok && r.status == 0;
        peaks.emplace_back(count, r.peakKiB);
        fs::remove_all(out);
        fs::remove(archive);
    }
    const double perMember = static_cast<double>(peaks[1].second - peaks[0].second) * 1024.0 /
                             static_cast<double>(peaks[1].first - peaks[0].first);
    std::printf("growth: %.0f bytes per member; goal: under 64 MB for 1,000,000 members\n",
                perMember);
    if (argc <= 2)
        fs::remove_all(work);
    return ok ? 0 : 1;
}

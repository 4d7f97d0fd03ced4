// vadok-archiver: runs the archiver entry points from a shell, for tests, benchmarks and
// anyone inspecting a pack folder.
//   vadok-archiver lha '<command string>'
//   vadok-archiver zip '<command string>'
// Prints progress unless the command holds "-n ", then the result code in upper-case
// hexadecimal; exits 0 on success, 1 otherwise.

#include "archiver.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <langinfo.h>
#include <string>

int main(int argc, char** argv) {
    // Names in archives and on disk are handled as UTF-8 whatever the locale claims.
    const char* set = std::setlocale(LC_ALL, "");
    if (!set || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_ALL, "C.UTF-8");
    if (argc != 3 || (std::string(argv[1]) != "lha" && std::string(argv[1]) != "zip")) {
        std::fprintf(stderr, "usage: vadok-archiver lha|zip '<command string>'\n");
        return 1;
    }
    vadok::SetArchiverProgressCallback(
        [](const std::string& member, std::uint64_t done, std::uint64_t total) {
            std::printf("%3u%%  %s\n", total ? static_cast<unsigned>(done * 100 / total) : 100u,
                        member.c_str());
        });
    vadok::SetArchiverWarningCallback(
        [](const std::string& message) { std::fprintf(stderr, "warning: %s\n", message.c_str()); });
    const std::string command = argv[2];
    const int code = std::string(argv[1]) == "lha" ? vadok::Unlha(nullptr, command, nullptr, 0)
                                                   : vadok::UnZip(nullptr, command, nullptr, 0);
    std::printf("%X\n", static_cast<unsigned>(code));
    return code == 0 ? 0 : 1;
}

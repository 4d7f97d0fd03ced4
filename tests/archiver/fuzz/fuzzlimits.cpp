#include <vector>

// libarchive sizes its read-ahead buffer from the sizes an archive's headers claim and touches
// only the bytes the file holds: a 60-byte LZH made it request 1.7 GB that it never used.
// libFuzzer's malloc limit judges a request by its size alone (unset, it is the RSS limit), so
// under an RSS limit below 1.7 GB such an input is reported as running out of memory. Header
// size fields are 32 bits at most and the buffer grows by doubling, so these requests stay
// below 8 GiB: the malloc limit sits there, and what the process really holds is judged by the
// RSS limit, which stays at 2 GB. Flags given on the command line come after these and win.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> args;
    static char mallocLimit[] = "-malloc_limit_mb=8192";
    static char rssLimit[] = "-rss_limit_mb=2048";
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, {mallocLimit, rssLimit});
    args.push_back(nullptr);
    *argc = static_cast<int>(args.size()) - 1;
    *argv = args.data();
    return 0;
}

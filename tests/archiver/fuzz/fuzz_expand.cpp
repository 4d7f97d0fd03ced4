#include "fuzzbodies.h"

#include <vector>

// libarchive sizes its read-ahead buffer from the header it is reading: a 60-byte LZH whose
// header claims a long extended header makes it request 1.7 GB, of which it touches only the
// bytes the file holds. libFuzzer's malloc limit (the RSS limit, 2 GB, unless set) judges a
// request by its size, so such an input could be reported as running out of memory or, under
// a lower RSS limit, would be. The size fields reach 4 GiB and the buffer grows by doubling,
// so no request of this kind passes 8 GiB: the malloc limit sits there, and what the fuzzer
// really holds is judged by the RSS limit, which stays at 2 GB. Flags given on the command
// line come after these and win.
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

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, unsigned long size) {
    vadok::archiver::fuzz::archiveExpand(data, size);
    return 0;
}

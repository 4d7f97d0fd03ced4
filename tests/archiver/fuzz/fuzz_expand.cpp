#include "fuzzbodies.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, unsigned long size) {
    vadok::archiver::fuzz::archiveExpand(data, size);
    return 0;
}

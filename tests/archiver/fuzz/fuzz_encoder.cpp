#include "fuzzbodies.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, unsigned long size) {
    vadok::archiver::fuzz::encoderRoundTrip(data, size);
    return 0;
}

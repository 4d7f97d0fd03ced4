// Replays every saved fuzzer input (tests/archiver/fuzz/regressions/<target>-<name>) through
// the same code the fuzz targets run. A file whose name starts with "encoder-" goes to the
// encoder round trip, "update-" to the archive update and expansion, "expand-" to the
// expansion as LZH and as ZIP, "walk-" to the header walks, "standins-" to a planted list of
// stand-ins.

#include "fuzzbodies.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

TEST(FuzzRegressions, savedInputsRunCleanly) {
    const std::filesystem::path dir = VADOK_FUZZ_REGRESSIONS;
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    int replayed = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        std::ifstream in(e.path(), std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                               std::istreambuf_iterator<char>());
        SCOPED_TRACE(name);
        if (name.rfind("encoder-", 0) == 0)
            vadok::archiver::fuzz::encoderRoundTrip(bytes.data(), bytes.size());
        else if (name.rfind("update-", 0) == 0)
            vadok::archiver::fuzz::archiveUpdate(bytes.data(), bytes.size());
        else if (name.rfind("expand-", 0) == 0)
            vadok::archiver::fuzz::archiveExpand(bytes.data(), bytes.size());
        else if (name.rfind("walk-", 0) == 0)
            vadok::archiver::fuzz::headerWalk(bytes.data(), bytes.size());
        else if (name.rfind("standins-", 0) == 0)
            vadok::archiver::fuzz::standInList(bytes.data(), bytes.size());
        else
            continue;
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

// A member's compressed data waits in a spill buffer: memory up to a limit, a file beyond it,
// and small pieces gathered before they go to the file. Whatever the pieces, every byte must
// read back where it was appended, across all three.

#include "archivertestsupport.h"

#include "archiver/store/spillbuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace vadok;
using namespace vadok::test;

TEST(SpillBuffer, everyByteReadsBackWhereItWasAppended) {
    const struct {
        const char* name;
        std::vector<std::size_t> pieces;
    } rows[] = {
        {"within memory", {100, 1, 899}},
        {"the limit reached exactly, then one byte", {1000, 1}},
        {"an encoder's blocks with single bytes between", {700, 1, 5000, 1, 1, 20000, 1, 3}},
        {"small pieces past the gathering size", std::vector<std::size_t>(300, 333)},
        {"a piece larger than the gathering size among small ones", {999, 2, 70000, 5, 131072, 7}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        archiver::SpillBuffer spill(dir.path(), 1000);
        std::string all;
        for (const bool again : {false, true}) {
            // A member stored as it is after all is appended anew into the same buffer.
            if (again)
                spill.clear();
            all.clear();
            for (const std::size_t n : row.pieces) {
                const std::string piece = randomData(n, static_cast<unsigned>(all.size()));
                ASSERT_TRUE(spill.append(reinterpret_cast<const std::uint8_t*>(piece.data()), n));
                all += piece;
            }
            ASSERT_EQ(spill.size(), all.size());
            for (const std::size_t chunk : {std::size_t{1} << 20, std::size_t{4099}}) {
                std::string read;
                std::vector<std::uint8_t> buffer(chunk);
                while (const std::size_t n = spill.readAt(read.size(), buffer.data(), chunk))
                    read.append(reinterpret_cast<const char*>(buffer.data()), n);
                EXPECT_TRUE(read == all) << "read in pieces of " << chunk;
            }
            std::uint8_t last = 0;
            ASSERT_EQ(spill.readAt(all.size() - 1, &last, 1), 1u);
            EXPECT_EQ(static_cast<char>(last), all.back());
            EXPECT_EQ(spill.readAt(all.size(), &last, 1), 0u);
        }
    }
}

#include "util/sizetext.h"

#include <gtest/gtest.h>

namespace vadok {
namespace {

TEST(SizeText, changesUnitWhereTheRoundedValueReaches1024) {
    const std::pair<quint64, const char*> cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.0 KB"},
        {1536, "1.5 KB"},
        {1024 * 1024 - 52, "1023.9 KB"}, // 1023.95 rounds up...
        {1024 * 1024 - 51, "1.0 MB"},    // ...from here on it would read 1024.0 KB
        {37224448, "35.5 MB"},
        {1024ull * 1024 * 1024 - 1, "1.0 GB"},
        {5ull * 1024 * 1024 * 1024 * 1024, "5120.0 GB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(sizeText(bytes), QString::fromLatin1(text)) << bytes;
}

} // namespace
} // namespace vadok

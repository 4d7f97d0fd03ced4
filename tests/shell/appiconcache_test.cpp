#include "shell/appiconcache.h"

#include <QtEndian>

#include <functional>
#include <gtest/gtest.h>

namespace vadok {
namespace {

// A store of one red picture for "/icons/ツール.ico", as save() writes it.
QByteArray oneEntry() {
    AppIconCache cache;
    QImage red(AppIconCache::kSide, AppIconCache::kSide, QImage::Format_ARGB32);
    red.fill(Qt::red);
    cache.put(QStringLiteral("/icons/ツール.ico"), FileIdentity{1, 2, 3, 4}, red);
    return cache.serialized();
}

// Offsets in oneEntry(): magic 0, side 8, count 12, path length 16, path 20.
void setU32(QByteArray& bytes, qsizetype at, quint32 value) {
    qToLittleEndian(value, bytes.data() + at);
}

struct ParseCase {
    const char* what;
    std::function<void(QByteArray&)> damage;
    bool reads;
};

void PrintTo(const ParseCase& c, std::ostream* out) {
    *out << c.what;
}

class AppIconCacheParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(AppIconCacheParse, readsBackOnlyWhatItWroteWhole) {
    QByteArray bytes = oneEntry();
    GetParam().damage(bytes);
    AppIconCache cache;
    QString why;
    EXPECT_EQ(cache.parse(bytes, &why), GetParam().reads) << why.toStdString();
    EXPECT_EQ(cache.size(), GetParam().reads ? 1 : 0);
    const QImage shown =
        cache.lookup(QStringLiteral("/icons/ツール.ico"), FileIdentity{1, 2, 3, 4});
    EXPECT_EQ(!shown.isNull() && shown.pixel(5, 5) == qRgb(255, 0, 0), GetParam().reads);
    // Another version of the file never gets the picture.
    EXPECT_TRUE(
        cache.lookup(QStringLiteral("/icons/ツール.ico"), FileIdentity{1, 2, 3, 5}).isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AppIconCacheParse,
    ::testing::Values(ParseCase{"asWritten", [](QByteArray&) {}, true},
                      ParseCase{"otherMagic", [](QByteArray& b) { b[0] = 'X'; }, false},
                      ParseCase{"otherSide", [](QByteArray& b) { setU32(b, 8, 16); }, false},
                      ParseCase{"moreEntriesThanBytes",
                                [](QByteArray& b) { setU32(b, 12, 0xFFFFFFFFu); }, false},
                      ParseCase{"pathLongerThanTheFile",
                                [](QByteArray& b) { setU32(b, 16, 0x7FFFFFFFu); }, false},
                      ParseCase{"emptyPath", [](QByteArray& b) { setU32(b, 16, 0); }, false},
                      ParseCase{"pathNotUtf8", [](QByteArray& b) { b[20] = char(0xFF); }, false},
                      ParseCase{"lastPixelCutOff", [](QByteArray& b) { b.chop(1); }, false}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return info.param.what; });

} // namespace
} // namespace vadok

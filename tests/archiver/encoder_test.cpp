#include "archiver/lzh/crc16.h"
#include "archiver/lzh/crc32.h"
#include "archiver/lzh/huffman.h"
#include "archiver/lzh/lzhencoder.h"
#include "archiver/lzh/lzhheaderwriter.h"
#include "archiver/store/memberverify.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace vadok::archiver;

namespace {

std::vector<std::uint8_t> compress(LzhMethod method, const std::vector<std::uint8_t>& data,
                                   std::size_t piece) {
    std::vector<std::uint8_t> out;
    LzhEncoder enc(method,
                   [&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
    for (std::size_t i = 0; i < data.size(); i += piece)
        enc.write(data.data() + i, std::min(piece, data.size() - i));
    enc.finish();
    return out;
}

// Decodes through libarchive: the reference decoder the archive is read with later.
::testing::AssertionResult decodesBack(LzhMethod method, const std::vector<std::uint8_t>& data,
                                       const std::vector<std::uint8_t>& packed) {
    LzhMember m;
    m.path = "x.bin";
    const char* id = methodParams(method).id;
    m.setMethod(id + 1);
    m.compressedSize = packed.size();
    m.originalSize = data.size();
    m.crc = crc16Update(0, data.data(), data.size());
    std::size_t at = 0;
    std::string error;
    const bool ok = verifyMemberData(
        encodeLevel2Header(m),
        [&](std::uint8_t* dest, std::size_t size) {
            const std::size_t n = std::min(size, packed.size() - at);
            std::copy(packed.begin() + static_cast<long>(at),
                      packed.begin() + static_cast<long>(at + n), dest);
            at += n;
            return n;
        },
        data.size(), m.crc, error);
    if (ok)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << error;
}

std::vector<std::uint8_t> randomBytes(std::size_t n, unsigned seed, int alphabet) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<std::uint8_t>(rng() % alphabet);
    return v;
}

std::vector<std::uint8_t> text(std::size_t n) {
    static const char* words[] = {"launcher ", "archive ", "member ",  "the ",
                                  "of ",       "window\n", "huffman ", "é "};
    std::mt19937 rng(7);
    std::vector<std::uint8_t> v;
    while (v.size() < n) {
        const std::string w = words[rng() % 8];
        v.insert(v.end(), w.begin(), w.end());
    }
    v.resize(n);
    return v;
}

struct Corpus {
    const char* name;
    std::vector<std::uint8_t> data;
};

std::vector<Corpus> corpora() {
    std::vector<Corpus> c;
    c.push_back({"one byte", {0x41}});
    c.push_back({"sixty-four bytes", randomBytes(64, 9, 3)});
    c.push_back({"one repeated byte", std::vector<std::uint8_t>(300000, 0x7A)});
    c.push_back({"random", randomBytes(200000, 1, 256)});
    c.push_back({"four-letter alphabet", randomBytes(300000, 2, 4)});
    c.push_back({"text", text(500000)});
    // Exactly the window plus the maximum match, to cross the window edge at a match.
    auto rep = randomBytes(65536 + 256, 3, 256);
    rep.insert(rep.end(), rep.begin(), rep.end());
    c.push_back({"repeat at window distance", rep});
    return c;
}

} // namespace

TEST(LzhEncoder, roundTripsThroughLibarchiveForEveryMethodAndCorpus) {
    for (const auto method : {LzhMethod::Lh5, LzhMethod::Lh6, LzhMethod::Lh7}) {
        for (const auto& corpus : corpora()) {
            for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{4093}}) {
                const auto packed = compress(method, corpus.data, piece);
                EXPECT_TRUE(decodesBack(method, corpus.data, packed))
                    << methodParams(method).id << " " << corpus.name << " piece " << piece;
            }
        }
    }
}

// A store reuses one encoder per thread for many members; which members a thread happened to
// compress before must neither leak into a member (matches reaching into an earlier one
// decode to garbage) nor change its bytes (archives of the same folder would differ).
TEST(LzhEncoder, reusedEncoderGivesEachMemberTheBytesOfAFreshOne) {
    const auto big = text(300000);
    const std::vector<std::uint8_t> tail(big.end() - 5000, big.end());
    for (const auto method : {LzhMethod::Lh5, LzhMethod::Lh7}) {
        std::vector<std::uint8_t> out;
        LzhEncoder reused(method, nullptr);
        for (const auto* data : {&big, &tail, &big, &tail}) {
            out.clear();
            reused.reset([&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
            reused.write(data->data(), data->size());
            reused.finish();
            EXPECT_EQ(out, compress(method, *data, 1 << 20)) << methodParams(method).id;
            EXPECT_TRUE(decodesBack(method, *data, out)) << methodParams(method).id;
        }
    }
}

TEST(LzhEncoder, shrinksRedundantDataAndNeverPadsTheEnd) {
    const auto data = text(200000);
    const auto packed = compress(LzhMethod::Lh7, data, 65536);
    EXPECT_LT(packed.size(), data.size() / 3);
    // The last byte must hold encoded bits: stripping it has to break decoding.
    auto shorter = packed;
    shorter.pop_back();
    EXPECT_FALSE(decodesBack(LzhMethod::Lh7, data, shorter));
}

TEST(Crc16, matchesTheArcCheckValueAndABitwiseReferenceAtEveryLengthAndSplit) {
    const std::string s = "123456789";
    EXPECT_EQ(crc16Update(0, s.data(), s.size()), 0xBB3D);
    const auto data = randomBytes(40, 5, 256);
    for (std::size_t n = 0; n <= data.size(); ++n) {
        std::uint16_t reference = 0;
        for (std::size_t i = 0; i < n; ++i) {
            reference ^= data[i];
            for (int k = 0; k < 8; ++k)
                reference = (reference & 1) ? (reference >> 1) ^ 0xA001 : reference >> 1;
        }
        for (std::size_t split = 0; split <= n; ++split)
            ASSERT_EQ(crc16Update(crc16Update(0, data.data(), split), data.data() + split, n - split),
                      reference)
                << n << " split at " << split;
    }
}

// The folding path takes 64 bytes and more, in lanes of 16; lengths around those edges,
// starts at every alignment and runs split anywhere must all give the bitwise CRC.
TEST(Crc32, matchesTheCheckValueAndABitwiseReferenceAtEveryLengthAlignmentAndSplit) {
    const std::string s = "123456789";
    EXPECT_EQ(crc32Update(0, s.data(), s.size()), 0xCBF43926u);
    auto reference = [](const std::uint8_t* p, std::size_t n) {
        std::uint32_t crc = 0xFFFFFFFF;
        for (std::size_t i = 0; i < n; ++i) {
            crc ^= p[i];
            for (int k = 0; k < 8; ++k)
                crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
        }
        return ~crc;
    };
    const auto data = randomBytes(70000, 6, 256);
    for (std::size_t n = 0; n <= 300; ++n) {
        const std::uint32_t want = reference(data.data(), n);
        for (std::size_t split = 0; split <= n; split += (n < 80 ? 1 : 37))
            ASSERT_EQ(crc32Update(crc32Update(0, data.data(), split), data.data() + split, n - split),
                      want)
                << n << " split at " << split;
    }
    for (std::size_t at = 0; at < 16; ++at)
        ASSERT_EQ(crc32Update(0, data.data() + at, data.size() - at - 3),
                  reference(data.data() + at, data.size() - at - 3))
            << "starting at " << at;
}

TEST(Huffman, limitsCodeLengthsAndKeepsTheCodeComplete) {
    // Fibonacci frequencies make the unrestricted tree as deep as the symbol count.
    std::vector<std::uint32_t> freq(30);
    freq[0] = freq[1] = 1;
    for (std::size_t i = 2; i < freq.size(); ++i)
        freq[i] = freq[i - 1] + freq[i - 2];
    const auto lengths = huffmanLengths(freq, 16);
    double kraft = 0;
    for (auto l : lengths) {
        ASSERT_GE(l, 1);
        ASSERT_LE(l, 16);
        kraft += 1.0 / (1u << l);
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0);
}

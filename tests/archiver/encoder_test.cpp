#include "archiver/lzh/bitjoiner.h"
#include "archiver/lzh/bitwriter.h"
#include "archiver/lzh/crc16.h"
#include "archiver/lzh/crc32.h"
#include "archiver/lzh/huffman.h"
#include "archiver/lzh/lzhencoder.h"
#include "archiver/lzh/lzhheaderwriter.h"
#include "archiver/lzh/lzhsegments.h"
#include "archiver/store/memberverify.h"

#include <archive.h>
#include <archive_entry.h>
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

// In segments, on the caller's thread alone or with a helper thread beside it.
std::vector<std::uint8_t> compressInSegments(LzhMethod method, const std::vector<std::uint8_t>& data,
                                             std::size_t piece, bool helped) {
    std::vector<std::uint8_t> out;
    LzhEncoder own(method, nullptr);
    LzhEncoder helper(method, nullptr);
    LzhSegmentEncoder::Helper helping;
    if (helped)
        helping.encoder = [&]() -> LzhEncoder& { return helper; };
    LzhSegmentEncoder::Buffers buffers;
    LzhSegmentEncoder enc(
        own, helping, data.size(),
        [&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); }, buffers);
    for (std::size_t i = 0; i < data.size(); i += piece)
        enc.write(data.data() + i, std::min(piece, data.size() - i));
    enc.finish();
    return out;
}

// Whether libarchive, a decoder written apart from ours, reads the member whole and checks
// its CRC; error says why not.
bool libarchiveReads(std::vector<std::uint8_t> archive, const std::vector<std::uint8_t>& packed,
                     std::size_t size, std::string& error) {
    archive.insert(archive.end(), packed.begin(), packed.end());
    archive.push_back(0);
    struct archive* a = archive_read_new();
    archive_read_support_format_lha(a);
    struct archive_entry* entry = nullptr;
    int r = archive_read_open_memory(a, archive.data(), archive.size());
    if (r == ARCHIVE_OK)
        r = archive_read_next_header(a, &entry);
    const void* buf;
    la_int64_t offset;
    for (std::size_t n = 0; r == ARCHIVE_OK; size -= n)
        r = archive_read_data_block(a, &buf, &n, &offset);
    if (r != ARCHIVE_EOF)
        error = archive_error_string(a) ? archive_error_string(a) : "libarchive fails";
    archive_read_free(a);
    return r == ARCHIVE_EOF && size == 0;
}

// Decodes with the store's strict read-back and with libarchive, the reference the archive is
// read with later: both must take the member, or both refuse it.
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
    const bool ours = verifyMemberData(
        encodeLevel2Header(m),
        [&](std::uint8_t* dest, std::size_t size) {
            const std::size_t n = std::min(size, packed.size() - at);
            std::copy(packed.begin() + static_cast<long>(at),
                      packed.begin() + static_cast<long>(at + n), dest);
            at += n;
            return n;
        },
        data.size(), m.crc, error);
    std::string theirs;
    if (ours != libarchiveReads(encodeLevel2Header(m), packed, data.size(), theirs))
        return ::testing::AssertionFailure() << "our read-back and libarchive disagree: "
                                             << (ours ? theirs : error);
    if (ours)
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
    // Matches cross the read-back's 1 MiB chunks, which only the member's end may not.
    c.push_back({"text over a MiB", text(1200000)});
    // Exactly the window plus the maximum match, to cross the window edge at a match.
    auto rep = randomBytes(65536 + 256, 3, 256);
    rep.insert(rep.end(), rep.begin(), rep.end());
    c.push_back({"repeat at window distance", rep});
    // Blocks end where the kind of data changes, and a block may end with the member.
    auto mixed = text(150000);
    const auto noise = randomBytes(150000, 4, 256);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    const auto more = text(150000);
    mixed.insert(mixed.end(), more.begin(), more.end());
    c.push_back({"text, noise, text", mixed});
    std::vector<std::uint8_t> counting; // no three bytes repeat: one literal per byte
    for (unsigned k = 0; k < 3 * 2048; k += 2)
        counting.insert(counting.end(), {static_cast<std::uint8_t>(k >> 9), static_cast<std::uint8_t>(k >> 1)});
    c.push_back({"literals filling whole segments", counting});
    // The last code a match that ends exactly at the member's end, which strict reading checks.
    auto endsInMatch = text(5000);
    endsInMatch.insert(endsInMatch.end(), endsInMatch.begin(), endsInMatch.begin() + 700);
    c.push_back({"ends in a long match", endsInMatch});
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

// A large member is compressed in segments, every other one on a helper thread; each segment
// ends its last block where it ends, in mid-byte, and the next one's first block follows at
// that bit, with matches reaching back into the segment before.
TEST(LzhSegmentEncoder, membersAroundAndOverTheSegmentSizeDecodeAndAreTheSameBytesWithAHelper) {
    constexpr std::size_t kSegment = LzhSegmentEncoder::kSegmentSize;
    const auto words = text(4 * kSegment);
    // Noise whose last 3000 bytes before each seam repeat right after it: only matches into
    // the segment before compress those.
    const auto noise = randomBytes(3 * kSegment + kSegment / 2, 5, 256);
    auto seams = noise;
    for (std::size_t seam = kSegment; seam < seams.size(); seam += kSegment)
        std::copy(seams.begin() + static_cast<long>(seam - 3000),
                  seams.begin() + static_cast<long>(seam), seams.begin() + static_cast<long>(seam));
    const std::vector<Corpus> members = {
        {"text just below a segment", {words.begin(), words.begin() + kSegment - 1}},
        {"text of exactly a segment", {words.begin(), words.begin() + kSegment}},
        {"text a byte over a segment", {words.begin(), words.begin() + kSegment + 1}},
        {"text of four segments", words},
        {"noise repeated across three seams", seams},
    };
    for (const auto method : {LzhMethod::Lh5, LzhMethod::Lh6, LzhMethod::Lh7}) {
        for (const auto& m : members) {
            const std::string what = std::string(methodParams(method).id) + " " + m.name;
            const auto alone = compressInSegments(method, m.data, 4093, false);
            EXPECT_TRUE(decodesBack(method, m.data, alone)) << what;
            EXPECT_TRUE(compressInSegments(method, m.data, 1 << 16, true) == alone) << what;
            if (m.data.size() <= kSegment) {
                EXPECT_TRUE(compress(method, m.data, 1 << 20) == alone) << what;
            }
        }
        // The repeats after the seams cost next to nothing: the window before each was primed.
        EXPECT_GT(compressInSegments(method, noise, 1 << 20, true).size(),
                  compressInSegments(method, seams, 1 << 20, true).size() + 3 * 3000 / 2)
            << methodParams(method).id;
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

// One set of tables for text and noise alike would code the text with the noise's flat
// literal lengths; blocks that end where the data changes keep each part's own.
TEST(LzhEncoder, mixedDataPacksAboutAsSmallAsItsPartsApart) {
    const auto words = text(200000);
    const auto noise = randomBytes(100000, 4, 16);
    std::vector<std::uint8_t> mixed = words;
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    mixed.insert(mixed.end(), words.begin(), words.begin() + 60000);
    const std::vector<std::uint8_t> tail(words.begin(), words.begin() + 60000);
    const std::size_t apart = compress(LzhMethod::Lh7, words, 1 << 20).size() +
                              compress(LzhMethod::Lh7, noise, 1 << 20).size() +
                              compress(LzhMethod::Lh7, tail, 1 << 20).size();
    EXPECT_LT(compress(LzhMethod::Lh7, mixed, 1 << 20).size(), apart + apart / 50);
}

// The folding paths take 64 bytes and more, in lanes of 16; lengths around those edges,
// starts at every alignment and runs split anywhere must all give the bitwise CRC.
TEST(Crc, matchesTheCheckValueAndABitwiseReferenceAtEveryLengthAlignmentAndSplit) {
    using Update = std::uint32_t (*)(std::uint32_t, const void*, std::size_t);
    struct Case {
        const char* name;
        Update update;
        std::uint32_t polynomial; // reflected
        std::uint32_t inverted;   // before and after
        std::uint32_t check;      // of "123456789"
    };
    const Case cases[] = {
        {"CRC-16",
         [](std::uint32_t c, const void* p, std::size_t n) -> std::uint32_t {
             return crc16Update(static_cast<std::uint16_t>(c), p, n);
         },
         0xA001, 0, 0xBB3D},
        {"CRC-32", [](std::uint32_t c, const void* p, std::size_t n) { return crc32Update(c, p, n); },
         0xEDB88320, 0xFFFFFFFF, 0xCBF43926u},
    };
    const auto data = randomBytes(70000, 6, 256);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto reference = [&](const std::uint8_t* p, std::size_t n) {
            std::uint32_t crc = c.inverted;
            for (std::size_t i = 0; i < n; ++i) {
                crc ^= p[i];
                for (int k = 0; k < 8; ++k)
                    crc = (crc & 1) ? (crc >> 1) ^ c.polynomial : crc >> 1;
            }
            return crc ^ c.inverted;
        };
        const std::string s = "123456789";
        EXPECT_EQ(c.update(0, s.data(), s.size()), c.check);
        for (std::size_t n = 0; n <= 300; ++n) {
            const std::uint32_t want = reference(data.data(), n);
            for (std::size_t split = 0; split <= n; split += (n < 80 ? 1 : 37))
                ASSERT_EQ(c.update(c.update(0, data.data(), split), data.data() + split, n - split),
                          want)
                    << n << " split at " << split;
        }
        for (std::size_t at = 0; at < 16; ++at)
            ASSERT_EQ(c.update(0, data.data() + at, data.size() - at - 3),
                      reference(data.data() + at, data.size() - at - 3))
                << "starting at " << at;
    }
}

TEST(Huffman, limitsCodeLengthsKeepsTheCodeCompleteAndGivesFrequentSymbolsShortCodes) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> freq;
    };
    // Fibonacci frequencies make the unrestricted tree as deep as the symbol count.
    std::vector<std::uint32_t> fibonacci(30);
    fibonacci[0] = fibonacci[1] = 1;
    for (std::size_t i = 2; i < fibonacci.size(); ++i)
        fibonacci[i] = fibonacci[i - 1] + fibonacci[i - 2];
    std::vector<std::uint32_t> sparse(510, 0); // used symbols among unused ones, ties among them
    for (std::size_t s = 3; s < sparse.size(); s += 7)
        sparse[s] = 1 + static_cast<std::uint32_t>(s % 5);
    const std::vector<Case> cases = {
        {"fibonacci", fibonacci},
        {"all equal", std::vector<std::uint32_t>(510, 9)},
        {"sparse with ties", sparse},
        {"two symbols", {0, 5, 0, 0, 1}},
        {"counts beyond 16 bits", {4000000000u, 1, 70000, 3, 0, 65536}},
    };
    for (const auto& [name, freq] : cases) {
        const auto lengths = huffmanLengths(freq, 16);
        ASSERT_EQ(lengths.size(), freq.size()) << name;
        double kraft = 0;
        for (std::size_t s = 0; s < freq.size(); ++s) {
            if (freq[s] == 0) {
                EXPECT_EQ(lengths[s], 0) << name << " symbol " << s;
                continue;
            }
            ASSERT_GE(lengths[s], 1) << name << " symbol " << s;
            ASSERT_LE(lengths[s], 16) << name << " symbol " << s;
            kraft += 1.0 / (1u << lengths[s]);
            for (std::size_t t = 0; t < freq.size(); ++t) {
                if (freq[t] > freq[s]) {
                    EXPECT_LE(lengths[t], lengths[s]) << name << " symbols " << t << ", " << s;
                }
            }
        }
        EXPECT_DOUBLE_EQ(kraft, 1.0) << name;
    }
}

// Codes and a distance's bits go out together, up to 32 bits at a time, checked or not.
TEST(BitWriter, writesEveryWidthMostSignificantBitFirst) {
    std::mt19937 rng(11);
    BitWriter bits;
    std::vector<bool> reference;
    for (int i = 0; i < 2000; ++i) {
        const unsigned count = i < 33 ? static_cast<unsigned>(i) : rng() % 33;
        const std::uint32_t value = rng();
        const auto masked = static_cast<std::uint32_t>(value & ((std::uint64_t{1} << count) - 1));
        // A block's codes go out unchecked, into room made for them, one by one or in runs
        // that hold the writer's state until they end.
        if (i % 4 == 0) {
            bits.reserve(4);
            bits.putReserved(count, masked);
        } else if (i % 4 == 1) {
            bits.reserve(4);
            BitWriter::Run run(bits);
            run.put(count, masked);
        } else {
            bits.put(count, value);
        }
        for (unsigned b = count; b-- > 0;)
            reference.push_back((value >> b) & 1u);
    }
    EXPECT_EQ(bits.finish(), (8 - reference.size() % 8) % 8) << "filling bits";
    ASSERT_EQ(bits.size(), (reference.size() + 7) / 8);
    for (std::size_t i = 0; i < reference.size(); ++i)
        ASSERT_EQ((bits.data()[i / 8] >> (7 - i % 8)) & 1u, reference[i] ? 1u : 0u) << "bit " << i;
}

// Streams of every length modulo 8, written whole or in pieces, come out as one run of bits.
TEST(BitJoiner, startsEachStreamAtTheBitWhereTheOneBeforeEnded) {
    std::mt19937 rng(12);
    std::vector<std::uint8_t> out;
    BitJoiner joiner([&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
    std::vector<bool> reference;
    for (unsigned stream = 0; stream < 40; ++stream) {
        BitWriter bits;
        const unsigned length = stream < 17 ? stream : rng() % 200;
        for (unsigned b = 0; b < length; ++b) {
            const bool bit = rng() & 1u;
            bits.put(1, bit);
            reference.push_back(bit);
        }
        const unsigned filling = bits.finish();
        const std::size_t half = bits.size() / 2;
        joiner.write(bits.data(), half);
        joiner.write(bits.data() + half, bits.size() - half);
        joiner.endStream(filling);
    }
    joiner.finish();
    ASSERT_EQ(out.size(), (reference.size() + 7) / 8);
    for (std::size_t i = 0; i < reference.size(); ++i)
        ASSERT_EQ((out[i / 8] >> (7 - i % 8)) & 1u, reference[i] ? 1u : 0u) << "bit " << i;
}

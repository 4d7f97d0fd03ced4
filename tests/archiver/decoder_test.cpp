// Our decoders of LZH member data against archives other programs wrote (lhasa's output is
// the oracle), against our own encoder and jlha on a varied corpus, and against damage.

#include "archivertestsupport.h"

#include "archiver/lzh/bitwriter.h"
#include "archiver/lzh/lzhblockdecoder.h"
#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzhdecoder.h"
#include "archiver/lzh/lzhencoder.h"
#include "archiver/lzh/lzhheaderreader.h"
#include "archiver/lzh/lzhheaderwriter.h"
#include "archiver/lzh/lzhhuffmantable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

using namespace vadok::archiver;
using namespace vadok::test;

namespace {

const std::string kFixtures = std::string(VADOK_DECODER_FIXTURES) + "/";

struct Decoded {
    DecodeStatus status = DecodeStatus::Damaged;
    std::string data;
    std::string error;
};

// Hands the input out in small, uneven pieces, so the decoders' refills cross piece ends;
// the first `held` bytes are at hand before any piece, as a reader holds them.
Decoded decode(std::string_view method, const std::string& input, std::uint64_t size,
               std::size_t piece = 1000, DecodeMode mode = DecodeMode::Lenient,
               std::size_t held = 0) {
    Decoded d;
    held = std::min(held, input.size());
    std::size_t at = held;
    const DataSource source = [&](std::uint8_t* dest, std::size_t want) {
        const std::size_t n = std::min({want, piece, input.size() - at});
        std::memcpy(dest, input.data() + at, n);
        at += n;
        piece = piece % 997 + 13;
        return n;
    };
    const DecodedSink sink = [&](const std::uint8_t* data, std::size_t n) {
        d.data.append(reinterpret_cast<const char*>(data), n);
        return true;
    };
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(input.data());
    d.status = held > 0 ? decodeLzhData(method, {bytes, held}, source, size, sink, d.error, mode)
                        : decodeLzhData(method, source, size, sink, d.error, mode);
    return d;
}

struct Member {
    LzhMember header;
    std::string data; // compressed
};

// Walks the headers from the start; LArc archives end without an end mark.
std::vector<Member> membersOf(const std::string& archive) {
    std::vector<Member> members;
    std::size_t at = 0;
    while (at < archive.size()) {
        Member m;
        const auto* base = reinterpret_cast<const std::uint8_t*>(archive.data()) + at;
        const HeaderResult r = parseLzhHeader(base, archive.size() - at, m.header);
        if (r.status != HeaderStatus::Ok)
            break;
        m.data = archive.substr(at + r.headerLength, m.header.compressedSize);
        at += r.headerLength + m.header.compressedSize;
        members.push_back(std::move(m));
    }
    return members;
}

std::uint16_t crcOf(const std::string& s) { return crc16Update(0, s.data(), s.size()); }

std::string output(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    ::pclose(p);
    return out;
}

} // namespace

TEST(LzhDecoder, archivesOfOtherProgramsDecodeAsLhasaExpandsThem) {
    ASSERT_TRUE(haveProgram("lhasa")) << "scripts/setup installs lhasa";
    const struct {
        const char* archive;
        const char* method;
    } cases[] = {
        {"lh1-64k.lzh", "lh1"},     {"lharc-long.lzh", "lh1"},    {"amiga-lh1.lzh", "lh1"},  {"amiga-lh4.lzh", "lh4"},
        {"amiga-lh5.lzh", "lh5"},   {"lhmelt-lh6.lzh", "lh6"}, {"unix-lh7.lzh", "lh7"},
        {"unlha32-lhx.lzh", "lhx"}, {"larc-lz5.lzs", "lz5"},   {"larc-initial.lzs", "lz5"},
        {"larc-lz4.lzs", "lz4"},    {"lzs.lzs", "lzs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        const std::string path = kFixtures + c.archive;
        const std::vector<Member> members = membersOf(readFile(path));
        ASSERT_FALSE(members.empty());
        std::string all;
        bool methodSeen = false;
        for (const Member& m : members) {
            if (m.header.kind != MemberKind::File)
                continue;
            methodSeen |= m.header.methodName() == c.method;
            ASSERT_TRUE(ownDecodableMethod(m.header.methodName()));
            const Decoded d = decode(m.header.methodName(), m.data, m.header.originalSize);
            ASSERT_EQ(d.status, DecodeStatus::Ok) << m.header.path << ": " << d.error;
            EXPECT_EQ(d.data.size(), m.header.originalSize);
            EXPECT_EQ(crcOf(d.data), m.header.crc) << m.header.path;
            all += d.data;
            // The same with the data at hand: all of it, most, or a few bytes before the rest.
            for (const std::size_t held : {m.data.size(), m.data.size() / 2, std::size_t{5}}) {
                const Decoded h = decode(m.header.methodName(), m.data, m.header.originalSize,
                                         1000, DecodeMode::Lenient, held);
                EXPECT_EQ(h.status, DecodeStatus::Ok) << m.header.path << " held " << held;
                EXPECT_TRUE(h.data == d.data) << m.header.path << " held " << held;
            }
        }
        EXPECT_TRUE(methodSeen);
        EXPECT_TRUE(all == output("lhasa pq " + quote(path))) << "differs from lhasa's output";
    }
}

// Data that exercises every part of the window: random bytes, text, a long run, and a tail
// that repeats pieces from up to 1 MiB back.
std::string corpus() {
    std::string s = randomData(200000, 1);
    for (int i = 0; s.size() < 500000; ++i)
        s += "line " + std::to_string(i * 7919 % 1000) + ": the quick brown fox\n";
    s += std::string(300000, '\0');
    std::mt19937 rng(5);
    while (s.size() < 1600000) {
        const std::size_t from = rng() % (s.size() - 600);
        s += s.substr(from, 3 + rng() % 300);
        s += static_cast<char>(rng());
    }
    return s;
}

TEST(LzhDecoder, dataOfOurEncoderAndOfJlhaRoundTrips) {
    ASSERT_TRUE(haveProgram("jlha")) << "scripts/setup installs jlha-utils";
    const std::string original = corpus();
    TempDir dir;
    writeFile(dir / "corpus.bin", original);
    writeFile(dir / "small.txt", "abcabcabcabc x");
    for (const LzhMethod method : {LzhMethod::Lh5, LzhMethod::Lh6, LzhMethod::Lh7}) {
        const std::string name = std::string(methodParams(method).id).substr(1, 3);
        SCOPED_TRACE(name);
        std::string packed;
        LzhEncoder encoder(method, [&](const std::uint8_t* data, std::size_t n) {
            packed.append(reinterpret_cast<const char*>(data), n);
        });
        encoder.write(reinterpret_cast<const std::uint8_t*>(original.data()), original.size());
        encoder.finish();
        // The loop this processor runs, and the one every x86-64 runs.
        for (const bool anyProcessor : {false, true}) {
            decodeBlocksAsAnyProcessor(anyProcessor);
            const Decoded ours = decode(name, packed, original.size(), 70000);
            decodeBlocksAsAnyProcessor(false);
            ASSERT_EQ(ours.status, DecodeStatus::Ok) << ours.error;
            EXPECT_TRUE(ours.data == original) << "ours; any processor " << anyProcessor;
        }

        const std::string archive = dir / (name + ".lzh");
        ASSERT_EQ(run("cd " + quote(dir.path()) + " && jlha a2o" + name.substr(2) + " " +
                      quote(archive) + " corpus.bin small.txt >/dev/null 2>&1"),
                  0);
        const std::vector<Member> members = membersOf(readFile(archive));
        ASSERT_EQ(members.size(), 2u);
        for (const Member& m : members) {
            const Decoded d = decode(m.header.methodName(), m.data, m.header.originalSize);
            ASSERT_EQ(d.status, DecodeStatus::Ok) << m.header.path << ": " << d.error;
            EXPECT_TRUE(d.data == readFile(dir / m.header.path)) << "jlha's " << m.header.path;
        }
    }
}

// Hand-made -lh5- streams: each block field in order, most significant bit first.
struct Stream {
    BitWriter bits;
    Stream& put(unsigned count, std::uint32_t value) {
        bits.put(count, value);
        return *this;
    }
    std::string done() {
        bits.finish();
        return {bits.data(), bits.data() + bits.size()};
    }
};

TEST(LzhDecoder, handMadeStreamsDecodeOrFailAsTheFormatSays) {
    // A block of one code whose tables each hold a single symbol (no bits per code): the
    // match symbol 256 (3 bytes) at position code 13, then 12 bits of distance.
    const auto oneMatch = [](unsigned codeSymbol, unsigned positionCode, unsigned extra,
                             unsigned codes = 1) {
        return Stream()
            .put(16, codes)
            .put(5, 0).put(5, 0)                     // T: single symbol 0
            .put(9, 0).put(9, codeSymbol)            // C: single symbol
            .put(4, 0).put(4, positionCode)          // P: single symbol
            .put(extra, (1u << extra) - 1)
            .done();
    };
    const struct {
        const char* name;
        std::string data;
        std::uint64_t size;
        DecodeStatus status;
        std::string expected;
    } cases[] = {
        // Longer than a chunk: the history slides, and the next member starts afresh.
        {"literal repeated over chunks", [] {
             Stream s;
             for (int block = 0; block < 33; ++block)
                 s.put(16, 0xffff).put(5, 0).put(5, 0).put(9, 0).put(9, 'x').put(4, 0).put(4, 0);
             return s.done();
         }(), 2 << 20, DecodeStatus::Ok, std::string(2 << 20, 'x')},
        // before the first byte the window holds spaces
        {"match before the start", oneMatch(256, 13, 12), 3, DecodeStatus::Ok, "   "},
        {"match past the member's end is cut", oneMatch(256, 13, 12), 2, DecodeStatus::Ok, "  "},
        {"single literal repeats", Stream().put(16, 4).put(5, 0).put(5, 0).put(9, 0).put(9, 'x')
                                       .put(4, 0).put(4, 0).done(), 4, DecodeStatus::Ok, "xxxx"},
        {"code symbol beyond 509", oneMatch(510, 13, 12), 3, DecodeStatus::Damaged, ""},
        {"position code beyond the window", oneMatch(256, 14, 13), 3, DecodeStatus::Damaged, ""},
        {"oversubscribed T table",
         Stream().put(16, 1).put(5, 3).put(3, 1).put(3, 1).put(3, 1).put(2, 0).put(9, 0).done(), 1,
         DecodeStatus::Damaged, ""},
        {"code length over 16 bits",
         Stream().put(16, 1).put(5, 2).put(3, 7).put(12, 0xfff).put(1, 0).done(), 1,
         DecodeStatus::Damaged, ""},
        {"C length 17 from T's twentieth symbol", [] {
             // T of 20 lengths, only the last (symbol 19) in use; C's one code is that symbol
             Stream s;
             s.put(16, 1).put(5, 20).put(3, 0).put(3, 0).put(3, 0).put(2, 3);
             for (int i = 6; i < 19; ++i)
                 s.put(3, 0);
             return s.put(3, 1).put(9, 1).put(1, 0).put(4, 0).put(4, 0).put(16, 0).done();
         }(), 1, DecodeStatus::Damaged, ""},
        {"more P codes than the window has", [] {
             // 15 position codes where -lh5- has 14; the 15th, coded as 0, would reach 16 KiB back
             Stream s;
             s.put(16, 1).put(5, 0).put(5, 0).put(9, 0).put(9, 256).put(4, 15);
             for (int i = 0; i < 14; ++i)
                 s.put(3, 0);
             return s.put(3, 1).put(1, 0).put(13, 0x1fff).put(16, 0).done();
         }(), 3, DecodeStatus::Damaged, ""},
        {"data ends inside the block header", oneMatch(256, 13, 12).substr(0, 4), 3, DecodeStatus::Damaged, ""},
        {"data ends inside the codes", oneMatch(256, 13, 12, 2), 6, DecodeStatus::Damaged, ""},
        {"no data", "", 10, DecodeStatus::Damaged, ""},
    };
    for (const auto& c : cases) {
        const Decoded d = decode("lh5", c.data, c.size);
        EXPECT_EQ(d.status, c.status) << c.name << ": " << d.error;
        if (c.status == DecodeStatus::Ok)
            EXPECT_EQ(d.data, c.expected) << c.name;
        else
            EXPECT_FALSE(d.error.empty()) << c.name;
        if (c.status != DecodeStatus::Ok) {
            EXPECT_EQ(decode("lh5", c.data, c.size, 1000, DecodeMode::Strict).status, c.status)
                << c.name;
        }
    }
}

// A match starts as far back as its position code and the extra bits after it say, for every
// position code of each window, with a history that tells every distance apart: blocks of
// one literal each (no bits per code) lay down runs of changing letters, then blocks of one
// match code and one position code read only the extra bits of each match.
TEST(LzhDecoder, matchesReachAsFarAsTheirPositionCodeAndExtraBits) {
    const struct {
        const char* method;
        unsigned positionCodes, countBits;
    } windows[] = {{"lh5", 14, 4}, {"lh7", 17, 5}, {"lhx", 20, 5}};
    for (const auto& w : windows) {
        SCOPED_TRACE(w.method);
        Stream s;
        std::string expected;
        const auto single = [&](unsigned codes, unsigned codeSymbol, unsigned positionCode) {
            s.put(16, codes).put(5, 0).put(5, 0).put(9, 0).put(9, codeSymbol);
            s.put(w.countBits, 0).put(w.countBits, positionCode);
        };
        // Runs of 1 to 97 letters fill more than the window.
        for (unsigned run = 0; expected.size() < (std::size_t{1} << (w.positionCodes - 1)) + 4096;
             ++run) {
            const char letter = static_cast<char>('a' + run % 26);
            const unsigned count = 1 + run * 31 % 97;
            single(count, static_cast<unsigned char>(letter), 0);
            expected.append(count, letter);
        }
        std::mt19937 random(w.positionCodes);
        for (unsigned b = 0; b < w.positionCodes; ++b) {
            const unsigned extra = b > 1 ? b - 1 : 0;
            const unsigned length = 3 + b % 5;
            // The smallest and largest extra bits, and some between.
            std::vector<std::uint32_t> values = {0, (1u << extra) - 1};
            for (int i = 0; i < 40 && extra > 0; ++i)
                values.push_back(random() & ((1u << extra) - 1));
            single(static_cast<unsigned>(values.size()), 256 + length - 3, b);
            for (const std::uint32_t v : values) {
                if (extra > 0)
                    s.put(extra, v);
                const std::size_t back = (b > 1 ? (std::size_t{1} << extra) + v : b) + 1;
                for (unsigned i = 0; i < length; ++i)
                    expected.push_back(expected[expected.size() - back]);
            }
        }
        const std::string data = s.done();
        for (const bool anyProcessor : {false, true}) {
            decodeBlocksAsAnyProcessor(anyProcessor);
            const Decoded d = decode(w.method, data, expected.size(), 70000);
            decodeBlocksAsAnyProcessor(false);
            ASSERT_EQ(d.status, DecodeStatus::Ok) << d.error;
            EXPECT_TRUE(d.data == expected) << "any processor " << anyProcessor;
        }
    }
}

// Each block builds its tables into those of the block before: whatever an earlier table
// left (links to longer codes, gaps), every 16-bit input decodes as the canonical code says.
TEST(LzhHuffmanTable, aTableBuiltOverAnotherDecodesEveryInputAsItsCanonicalCode) {
    const std::vector<std::uint8_t> longCodes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 16};
    const std::vector<std::uint8_t> otherLinks = {2, 2, 2, 3, 4, 5, 6, 6};
    const std::vector<std::vector<std::uint8_t>> codes = {
        longCodes, otherLinks, longCodes,   // complete codes, links at the same slot
        {2, 2, 2, 2},                       // complete, short codes only
        {1, 0, 3},                          // with a gap
        {3, 3, 3, 3, 3, 3, 3, 8, 8, 8},     // gaps among long codes
        otherLinks,
    };
    // A short code fills many slots of a wide first table, a long one a few of a narrow one.
    for (const unsigned primary : {4u, 10u}) {
        LzhHuffmanTable table(primary);
        for (const auto& lengths : codes) {
            ASSERT_TRUE(table.build(lengths.data(), static_cast<unsigned>(lengths.size())));
            // Canonical: shorter codes first, equal lengths by symbol.
            std::vector<std::uint32_t> first(18, 0);
            for (unsigned len = 1, code = 0; len <= 16; ++len) {
                first[len] = code;
                for (const auto l : lengths)
                    code += l == len ? 1u << (16 - len) : 0;
            }
            for (std::uint32_t input = 0; input < (1u << 16); ++input) {
                int want = -1;
                unsigned wantLength = 0;
                std::vector<std::uint32_t> next = first;
                for (unsigned sym = 0; sym < lengths.size(); ++sym) {
                    const unsigned len = lengths[sym];
                    if (len == 0)
                        continue;
                    const std::uint32_t code = next[len];
                    next[len] += 1u << (16 - len);
                    if (input >> (16 - len) == code >> (16 - len)) {
                        want = static_cast<int>(sym);
                        wantLength = len;
                    }
                }
                unsigned used = 0;
                const int got = table.decode(std::uint64_t{input} << 48, used);
                ASSERT_EQ(got, want) << "input " << input << " of the table of " << lengths.size();
                if (want >= 0) {
                    ASSERT_EQ(used, wantLength) << "input " << input;
                }
            }
        }
    }
}

// What lhasa reads but libarchive refuses, strict reading refuses too: the store's read-back of
// each member it writes is strict, so a member that passes reads with libarchive as well.
TEST(LzhDecoder, strictReadingRefusesStreamsThatOnlyLhasaReads) {
    // A block of literal 1s: T holds symbols 0 (one zero length) and 3 (length 1), C the
    // literals 0 and 1 (codes 0 and 1), P one code.
    const auto ones = [](Stream& s, unsigned codes) -> Stream& {
        s.put(16, codes).put(5, 4).put(3, 1).put(3, 0).put(3, 0).put(2, 0).put(3, 1)
            .put(9, 2).put(1, 1).put(1, 1).put(4, 0).put(4, 0);
        for (unsigned i = 0; i < codes; ++i)
            s.put(1, 1);
        return s;
    };
    const struct {
        const char* name;
        std::string data;
        std::uint64_t size;
        std::string expected; // as lenient reading and lhasa give it
        bool strictReads;
    } cases[] = {
        {"complete tables, one position code", [&] { Stream s; return ones(s, 3).done(); }(), 3,
         "\1\1\1", true},
        {"one-code T table", [] {
             return Stream().put(16, 3).put(5, 0).put(5, 3).put(9, 2).put(4, 0).put(4, 0)
                 .put(3, 0b111).done();
         }(), 3, "\1\1\1", false},
        {"one-code C table", [] {
             return Stream().put(16, 3).put(5, 2).put(3, 1).put(3, 1).put(9, 0).put(9, 'x')
                 .put(4, 0).put(4, 0).done();
         }(), 3, "xxx", false},
        {"incomplete C table", [] {
             return Stream().put(16, 1).put(5, 4).put(3, 1).put(3, 0).put(3, 0).put(2, 0)
                 .put(3, 1).put(9, 1).put(1, 1).put(4, 0).put(4, 0).put(1, 0).done();
         }(), 1, std::string(1, '\0'), false},
        {"incomplete P table", [] {
             return Stream().put(16, 1).put(5, 4).put(3, 1).put(3, 0).put(3, 0).put(2, 0)
                 .put(3, 1).put(9, 2).put(1, 1).put(1, 1).put(4, 1).put(3, 1).put(1, 1).done();
         }(), 1, "\1", false},
        {"zero run past the C table's count", [] {
             // T: symbols 1 (a run of 3 + 4 bits zeros) and 3 (C length 1), one bit each;
             // C of count 4: lengths 1, 1, then a run of 3 that ends at 5
             return Stream().put(16, 2).put(5, 4).put(3, 0).put(3, 1).put(3, 0).put(2, 0)
                 .put(3, 1).put(9, 4).put(1, 1).put(1, 1).put(1, 0).put(4, 0).put(4, 0)
                 .put(4, 0).put(2, 0b01).done();
         }(), 2, std::string("\0\1", 2), false},
        {"skip past the T table's count", [] {
             // T of count 4: lengths 1, 1, 0, then a skip of 2 that ends at 5. With no symbol
             // for a length left, only a one-code C table can follow.
             return Stream().put(16, 1).put(5, 4).put(3, 1).put(3, 1).put(3, 0).put(2, 2)
                 .put(9, 0).put(9, 'x').put(4, 0).put(4, 0).done();
         }(), 1, "x", false},
        {"block of no codes", [&] {
             Stream s;
             ones(s, 0);
             return ones(s, 2).done();
         }(), 2, "\1\1", false},
        {"codes past the member's end", [&] { Stream s; return ones(s, 4).done(); }(), 3,
         "\1\1\1", false},
        {"data after the last code", [&] { Stream s; return ones(s, 3).put(16, 0).done(); }(), 3,
         "\1\1\1", false},
    };
    const bool oracles = haveProgram("lhasa") && haveProgram("bsdtar");
    if (!oracles)
        ADD_FAILURE() << "scripts/setup installs lhasa and bsdtar";
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded lenient = decode("lh5", c.data, c.size, 1000);
        EXPECT_EQ(lenient.status, DecodeStatus::Ok) << lenient.error;
        EXPECT_EQ(lenient.data, c.expected);
        // in pieces of one byte or more, or held whole
        for (const auto& [piece, held] : {std::pair<std::size_t, std::size_t>{1, 0},
                                         {1000, 0},
                                         {1000, c.data.size()}}) {
            const Decoded strict = decode("lh5", c.data, c.size, piece, DecodeMode::Strict, held);
            EXPECT_EQ(strict.status, c.strictReads ? DecodeStatus::Ok : DecodeStatus::Damaged)
                << strict.error << "; held " << held;
            if (c.strictReads) {
                EXPECT_EQ(strict.data, c.expected);
            }
        }
        if (!oracles)
            continue;
        LzhMember m;
        m.path = "m.bin";
        m.setMethod("lh5");
        m.originalSize = c.size;
        m.compressedSize = c.data.size();
        m.crc = crcOf(c.expected);
        const std::vector<std::uint8_t> header = encodeLevel2Header(m);
        const std::string archive = dir.path() + "/m.lzh";
        writeFile(archive, std::string(header.begin(), header.end()) + c.data + std::string(1, '\0'));
        EXPECT_EQ(output("lhasa pq " + quote(archive) + " 2>/dev/null"), c.expected) << "lhasa";
        EXPECT_EQ(run("bsdtar -xOf " + quote(archive) + " >/dev/null 2>&1") == 0, c.strictReads)
            << "libarchive";
    }
    // Stored data longer than the member: lenient reading takes the member's bytes.
    EXPECT_EQ(decode("lh0", "abcd", 3).status, DecodeStatus::Ok);
    EXPECT_EQ(decode("lh0", "abcd", 3, 1000, DecodeMode::Strict).status, DecodeStatus::Damaged);
    EXPECT_EQ(decode("lh0", "abc", 3, 1000, DecodeMode::Strict).status, DecodeStatus::Ok);
}

TEST(LzhDecoder, damagedDataFailsOrMissesItsCrcButNeverOverrunsItsBuffers) {
    const struct {
        const char* archive;
    } cases[] = {{"amiga-lh1.lzh"}, {"amiga-lh4.lzh"}, {"unix-lh7.lzh"}, {"unlha32-lhx.lzh"},
                 {"larc-lz5.lzs"},  {"lzs.lzs"},       {"larc-lz4.lzs"}};
    std::mt19937 rng(7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        const std::vector<Member> members = membersOf(readFile(kFixtures + c.archive));
        ASSERT_FALSE(members.empty());
        const Member& m = members.front();
        const std::string method = m.header.methodName();
        const std::uint64_t size = m.header.originalSize;

        // Cut short, the data cannot fill the member.
        for (const std::size_t keep : {std::size_t{0}, m.data.size() / 2, m.data.size() * 9 / 10}) {
            const Decoded d = decode(method, m.data.substr(0, keep), size);
            EXPECT_EQ(d.status, DecodeStatus::Damaged) << "kept " << keep;
        }
        // Flipped bytes and garbage: any outcome but a silent success with wrong data.
        for (int round = 0; round < 40; ++round) {
            std::string data = m.data;
            if (round < 30) {
                for (int k = 0; k < 1 + round % 3; ++k)
                    data[rng() % data.size()] ^= static_cast<char>(1 + rng() % 255);
            } else {
                data = randomData(data.size(), static_cast<unsigned>(round));
            }
            const Decoded d = decode(method, data, size);
            if (d.status == DecodeStatus::Ok) {
                EXPECT_EQ(d.data.size(), size);
                if (d.data != decode(method, m.data, size).data) {
                    EXPECT_NE(crcOf(d.data), m.header.crc) << "round " << round;
                }
            } else {
                EXPECT_EQ(d.status, DecodeStatus::Damaged);
            }
        }
    }
}

TEST(LzhDecoder, refusedOutputStopsDecodingAndUnknownMethodsAreNotDecoded) {
    const std::vector<Member> members = membersOf(readFile(kFixtures + "lh1-64k.lzh"));
    ASSERT_FALSE(members.empty());
    for (const char* method : {"lh1", "lh0"}) {
        int calls = 0;
        std::string error;
        const std::string& data = members.front().data;
        std::size_t at = 0;
        const DecodeStatus status = decodeLzhData(
            method,
            [&](std::uint8_t* dest, std::size_t want) {
                const std::size_t n = std::min(want, data.size() - at);
                std::memcpy(dest, data.data() + at, n);
                at += n;
                return n;
            },
            members.front().header.originalSize,
            [&](const std::uint8_t*, std::size_t) { return ++calls > 1 ? true : false; }, error);
        EXPECT_EQ(status, DecodeStatus::Refused) << method;
        EXPECT_EQ(calls, 1) << method;
    }
    for (const char* method : {"lh2", "lh3", "lh8", "lh9", "pm2", "lhd", ""}) {
        EXPECT_FALSE(ownDecodableMethod(method)) << method;
        EXPECT_EQ(decode(method, "abc", 3).status, DecodeStatus::UnsupportedMethod) << method;
    }
}

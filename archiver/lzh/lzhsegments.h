#pragma once

#include "bitjoiner.h"
#include "lzhencoder.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace vadok::archiver {

// Compresses a member in segments at fixed offsets, every kSegmentSize bytes, so that two
// cores can share one large file: each segment is a run of whole blocks from an encoder of its
// own, primed with the window before the segment (the decoder carries only the window from
// block to block), and the segments' bit streams are joined in order, each from the bit where
// the one before ended. A helper thread, when there is one, compresses every other segment
// beside the caller, which compresses the rest as the bytes arrive; where segments start
// depends on the offsets alone, so the member's bytes are the same with a helper or without.
// Memory stays within two segments' input and output whatever the member's size (Buffers).
class LzhSegmentEncoder {
public:
    using Sink = LzhEncoder::Sink;
    // Starts a thread; returns none (not joinable) or throws std::system_error when none is
    // to be had, and the caller then compresses the segment itself.
    using StartThread = std::function<std::thread(std::function<void()>)>;

    // Each seam costs some 35 bytes (a block's tables, matches cut at its end): at this size
    // an application folder of 105 MB, with 23 files over it, grows by 1 KB, and a file of
    // 2 MiB already has two segments. 256 KiB grew it by 4 KB and sped nothing up measurably.
    static constexpr std::size_t kSegmentSize = std::size_t{1} << 20;

    // Memory the members of a thread reuse, one at a time: fresh for each large member, it
    // cost a page fault per 4 KiB: a tenth of a re-store's CPU time on a virtual machine.
    struct Buffers {
        std::vector<std::uint8_t> history;     // the window before the current segment
        std::vector<std::uint8_t> nextHistory; // the current segment's last window
        std::vector<std::uint8_t> input;       // the helper's segment: history, then bytes
        std::vector<std::uint8_t> ownOutput;   // the caller's, while the helper's is pending
        std::vector<std::uint8_t> helperOutput;
    };

    // The thread beside the caller's; without an encoder, there is none.
    struct Helper {
        // The helper's encoder, of own's method. It is asked for on the helper's thread, so
        // that tables made at the first call are made beside the caller's work.
        std::function<LzhEncoder&()> encoder;
        // Whether a core is free for it, asked as a segment meant for it begins: when none
        // is, the caller compresses that segment as it reads it. Empty: always.
        std::function<bool()> free;
        StartThread start; // empty: std::thread
    };

    // own compresses on the caller's thread. expectedSize chooses which segments go to the
    // helper: the last segment is always the caller's, so that it ends when the helper does.
    LzhSegmentEncoder(LzhEncoder& own, Helper helper, std::uint64_t expectedSize, Sink sink,
                      Buffers& buffers);
    // Waits for the helper when the member was not finished (a read that failed).
    ~LzhSegmentEncoder();
    LzhSegmentEncoder(const LzhSegmentEncoder&) = delete;
    LzhSegmentEncoder& operator=(const LzhSegmentEncoder&) = delete;

    void write(const std::uint8_t* data, std::size_t size);
    // Compresses what is left and writes the last partial byte. No write() after it.
    void finish();

private:
    bool toHelper(std::uint64_t segment) const;
    void beginSegment();
    void endSegment();
    void startHelper();
    // Joins the helper's segment, once it is done.
    void joinHelper();

    LzhEncoder& m_own;
    Helper m_helper;
    std::uint64_t m_expectedSegments;
    std::size_t m_window;
    BitJoiner m_joiner;

    std::uint64_t m_segment = 0; // the segment receiving bytes
    std::uint64_t m_offset = 0;  // bytes received
    std::uint64_t m_segmentEnd = 0;
    Buffers& m_buffers;
    // The current segment goes to the helper: its bytes wait in m_buffers.input.
    bool m_buffered = false;
    // The caller's segment follows the helper's, so its output waits for the helper's.
    bool m_ownWaits = false;
    // The helper's segment is not joined yet; its filling bits.
    bool m_helperPending = false;
    unsigned m_helperFilling = 0;
    std::thread m_thread;
};

} // namespace vadok::archiver

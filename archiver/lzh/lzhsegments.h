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
// Memory stays within two segments' input and output whatever the member's size.
class LzhSegmentEncoder {
public:
    using Sink = LzhEncoder::Sink;
    // Starts a thread; returns none (not joinable) or throws std::system_error when none is
    // to be had, and the caller then compresses the segment itself.
    using StartThread = std::function<std::thread(std::function<void()>)>;

    // Smaller segments cost size at each seam; at this size the seams of a store of
    // applications cost about one byte in 20,000, and a file of 2 MiB already has two.
    static constexpr std::size_t kSegmentSize = std::size_t{1} << 20;

    // The helper's encoder, of own's method. It is asked for on the helper's thread, so that
    // tables made at the first call are made beside the caller's work.
    using HelperEncoder = std::function<LzhEncoder&()>;

    // own compresses on the caller's thread; helper (empty: none) on threads from start
    // (empty: std::thread). expectedSize chooses which segments go to the helper: the last
    // segment is always the caller's, so that it ends when the helper does.
    LzhSegmentEncoder(LzhEncoder& own, HelperEncoder helper, StartThread start,
                      std::uint64_t expectedSize, Sink sink);
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
    HelperEncoder m_helper;
    StartThread m_start;
    std::uint64_t m_expectedSegments;
    std::size_t m_window;
    BitJoiner m_joiner;

    std::uint64_t m_segment = 0; // the segment receiving bytes
    std::uint64_t m_offset = 0;  // bytes received
    std::uint64_t m_segmentEnd = 0;
    std::vector<std::uint8_t> m_history;     // the window before the current segment
    std::vector<std::uint8_t> m_nextHistory; // the current segment's last window
    // The current segment goes to the helper: its bytes, after its history, wait here.
    bool m_buffered = false;
    std::vector<std::uint8_t> m_input;
    // The caller's segment follows the helper's, so its output waits for the helper's.
    bool m_ownWaits = false;
    std::vector<std::uint8_t> m_ownOutput;
    // The helper's segment: not joined yet, its output and filling bits.
    bool m_helperPending = false;
    std::vector<std::uint8_t> m_helperOutput;
    unsigned m_helperFilling = 0;
    std::thread m_thread;
};

} // namespace vadok::archiver

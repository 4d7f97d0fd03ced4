#pragma once

#include "lzhblockcoder.h"
#include "lzhmethod.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace vadok::archiver {

// Streaming LZSS encoder producing the data part of an -lh5-/-lh6-/-lh7- member; the block
// coder turns its literals and matches into Huffman blocks. Input arrives in pieces through
// write(); compressed bytes leave through the sink after each block, so memory stays bounded
// by the window and one block of codes.
class LzhEncoder {
public:
    using Sink = std::function<void(const std::uint8_t* data, std::size_t size)>;

    LzhEncoder(LzhMethod method, Sink sink);
    // Starts a new member with the same method, reusing the tables.
    void reset(Sink sink);
    // Starts a part of a member that begins after `history`, the bytes before it (at most a
    // window): they enter the tables for matches to reach back into, and are not coded.
    void reset(Sink sink, const std::uint8_t* history, std::size_t size);
    void write(const std::uint8_t* data, std::size_t size);
    // Compresses what is left and writes the last partial byte, whose filling bits it
    // counts (0..7). No write() after it.
    unsigned finish();
    std::size_t windowSize() const { return m_wsize; }

private:
    void process(bool flushing);
    template <bool Flushing>
    void run();
    void slide();
    void advanceBase(std::size_t by);

    LzhMethodParams m_params;
    std::size_t m_wsize;
    std::vector<std::uint8_t> m_window;
    // Hash chains (by four bytes) hold stamps, a window position plus m_base; stamps below m_base (0 among
    // them) are empty. Moving the base on slides and between members leaves the tables as
    // they are, where clearing them cost more than compressing a small member.
    std::vector<std::uint32_t> m_head;
    std::vector<std::uint32_t> m_prev;
    std::vector<std::uint32_t> m_head3; // by a hash of three bytes: the latest stamp only
    std::uint32_t m_base = 1;
    std::size_t m_strstart = 0;
    std::size_t m_lookahead = 0;
    std::size_t m_history = 0; // bytes from m_strstart on that only enter the tables

    unsigned m_prevLength = 2;
    std::size_t m_prevMatch = 0;
    bool m_matchAvailable = false;

    LzhBlockCoder m_blocks;
};

} // namespace vadok::archiver

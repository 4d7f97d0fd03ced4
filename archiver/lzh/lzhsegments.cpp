#include "lzhsegments.h"

#include <algorithm>
#include <system_error>

namespace vadok::archiver {

namespace {

// Compresses a segment held whole: its history, then its own bytes.
unsigned compressHeld(LzhEncoder& encoder, LzhEncoder::Sink sink,
                      const std::vector<std::uint8_t>& input, std::size_t history) {
    encoder.reset(std::move(sink), input.data(), history);
    encoder.write(input.data() + history, input.size() - history);
    return encoder.finish();
}

} // namespace

LzhSegmentEncoder::LzhSegmentEncoder(LzhEncoder& own, Helper helper, std::uint64_t expectedSize,
                                     Sink sink, Buffers& buffers)
    : m_own(own), m_helper(std::move(helper)),
      m_expectedSegments(
          std::max<std::uint64_t>(1, (expectedSize + kSegmentSize - 1) / kSegmentSize)),
      m_window(own.windowSize()), m_joiner(std::move(sink)), m_buffers(buffers) {
    m_buffers.history.clear();
    m_buffers.nextHistory.clear();
    m_buffers.ownOutput.clear();
    beginSegment();
}

LzhSegmentEncoder::~LzhSegmentEncoder() {
    if (m_thread.joinable())
        m_thread.join();
}

bool LzhSegmentEncoder::toHelper(std::uint64_t segment) const {
    // Counted from the last segment back, the helper takes every second one: each of its
    // segments runs beside the caller's next.
    return m_helper.encoder && segment + 1 < m_expectedSegments &&
           (m_expectedSegments - 1 - segment) % 2 == 1 && (!m_helper.free || m_helper.free());
}

void LzhSegmentEncoder::beginSegment() {
    m_buffers.history.swap(m_buffers.nextHistory);
    m_buffers.nextHistory.clear();
    m_segmentEnd = (m_segment + 1) * kSegmentSize;
    m_buffered = toHelper(m_segment);
    if (m_buffered) {
        m_buffers.input.clear();
        m_buffers.input.reserve(m_buffers.history.size() + kSegmentSize);
        m_buffers.input.insert(m_buffers.input.end(), m_buffers.history.begin(),
                               m_buffers.history.end());
        return;
    }
    m_ownWaits = m_helperPending;
    Sink sink;
    if (m_ownWaits) {
        m_buffers.ownOutput.reserve(kSegmentSize / 2);
        sink = [this](const std::uint8_t* p, std::size_t n) {
            m_buffers.ownOutput.insert(m_buffers.ownOutput.end(), p, p + n);
        };
    } else {
        sink = [this](const std::uint8_t* p, std::size_t n) { m_joiner.write(p, n); };
    }
    m_own.reset(std::move(sink), m_buffers.history.data(), m_buffers.history.size());
}

void LzhSegmentEncoder::write(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        // A segment ends when a byte beyond it arrives: a member of exactly whole segments
        // has no empty one after them.
        if (m_offset == m_segmentEnd) {
            endSegment();
            ++m_segment;
            beginSegment();
        }
        const auto take =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, m_segmentEnd - m_offset));
        const std::uint64_t tailFrom = m_segmentEnd - m_window;
        if (m_offset + take > tailFrom) {
            const auto skip =
                static_cast<std::size_t>(m_offset < tailFrom ? tailFrom - m_offset : 0);
            m_buffers.nextHistory.insert(m_buffers.nextHistory.end(), data + skip, data + take);
        }
        if (m_buffered)
            m_buffers.input.insert(m_buffers.input.end(), data, data + take);
        else
            m_own.write(data, take);
        m_offset += take;
        data += take;
        size -= take;
    }
}

void LzhSegmentEncoder::endSegment() {
    if (m_buffered)
        return startHelper();
    const unsigned filling = m_own.finish();
    if (m_ownWaits) {
        joinHelper();
        m_joiner.write(m_buffers.ownOutput.data(), m_buffers.ownOutput.size());
        m_buffers.ownOutput.clear();
        m_ownWaits = false;
    }
    m_joiner.endStream(filling);
}

void LzhSegmentEncoder::startHelper() {
    m_helperPending = true;
    m_buffers.helperOutput.clear();
    m_buffers.helperOutput.reserve(kSegmentSize / 2);
    const std::size_t history = m_buffers.history.size();
    auto work = [this, history] {
        m_helperFilling = compressHeld(
            m_helper.encoder(),
            [this](const std::uint8_t* p, std::size_t n) {
                m_buffers.helperOutput.insert(m_buffers.helperOutput.end(), p, p + n);
            },
            m_buffers.input, history);
    };
    try {
        m_thread = m_helper.start ? m_helper.start(work) : std::thread(work);
    } catch (const std::system_error&) {
    }
    // Without a thread the segment is compressed here and now: the same bytes, later.
    if (!m_thread.joinable())
        work();
}

void LzhSegmentEncoder::joinHelper() {
    if (m_thread.joinable())
        m_thread.join();
    m_joiner.write(m_buffers.helperOutput.data(), m_buffers.helperOutput.size());
    m_joiner.endStream(m_helperFilling);
    m_helperPending = false;
}

void LzhSegmentEncoder::finish() {
    if (m_buffered) {
        // The member ended sooner than expected, within a segment meant for the helper:
        // nothing follows it to run beside.
        m_buffered = false;
        m_joiner.endStream(compressHeld(
            m_own, [this](const std::uint8_t* p, std::size_t n) { m_joiner.write(p, n); },
            m_buffers.input, m_buffers.history.size()));
    } else {
        endSegment();
    }
    m_joiner.finish();
}

} // namespace vadok::archiver

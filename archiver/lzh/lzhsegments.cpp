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

LzhSegmentEncoder::LzhSegmentEncoder(LzhEncoder& own, HelperEncoder helper, StartThread start,
                                     std::uint64_t expectedSize, Sink sink)
    : m_own(own), m_helper(std::move(helper)), m_start(std::move(start)),
      m_expectedSegments(
          std::max<std::uint64_t>(1, (expectedSize + kSegmentSize - 1) / kSegmentSize)),
      m_window(own.windowSize()), m_joiner(std::move(sink)) {
    beginSegment();
}

LzhSegmentEncoder::~LzhSegmentEncoder() {
    if (m_thread.joinable())
        m_thread.join();
}

bool LzhSegmentEncoder::toHelper(std::uint64_t segment) const {
    // Counted from the last segment back, the helper takes every second one: each of its
    // segments runs beside the caller's next.
    return m_helper && segment + 1 < m_expectedSegments &&
           (m_expectedSegments - 1 - segment) % 2 == 1;
}

void LzhSegmentEncoder::beginSegment() {
    m_history.swap(m_nextHistory);
    m_nextHistory.clear();
    m_segmentEnd = (m_segment + 1) * kSegmentSize;
    m_buffered = toHelper(m_segment);
    if (m_buffered) {
        m_input.clear();
        m_input.reserve(m_history.size() + kSegmentSize);
        m_input.insert(m_input.end(), m_history.begin(), m_history.end());
        return;
    }
    m_ownWaits = m_helperPending;
    Sink sink;
    if (m_ownWaits) {
        m_ownOutput.reserve(kSegmentSize / 2);
        sink = [this](const std::uint8_t* p, std::size_t n) {
            m_ownOutput.insert(m_ownOutput.end(), p, p + n);
        };
    } else {
        sink = [this](const std::uint8_t* p, std::size_t n) { m_joiner.write(p, n); };
    }
    m_own.reset(std::move(sink), m_history.data(), m_history.size());
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
            m_nextHistory.insert(m_nextHistory.end(), data + skip, data + take);
        }
        if (m_buffered)
            m_input.insert(m_input.end(), data, data + take);
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
        m_joiner.write(m_ownOutput.data(), m_ownOutput.size());
        m_ownOutput.clear();
        m_ownWaits = false;
    }
    m_joiner.endStream(filling);
}

void LzhSegmentEncoder::startHelper() {
    m_helperPending = true;
    m_helperOutput.clear();
    m_helperOutput.reserve(kSegmentSize / 2);
    const std::size_t history = m_history.size();
    auto work = [this, history] {
        m_helperFilling = compressHeld(
            m_helper(),
            [this](const std::uint8_t* p, std::size_t n) {
                m_helperOutput.insert(m_helperOutput.end(), p, p + n);
            },
            m_input, history);
    };
    try {
        m_thread = m_start ? m_start(work) : std::thread(work);
    } catch (const std::system_error&) {
    }
    // Without a thread the segment is compressed here and now: the same bytes, later.
    if (!m_thread.joinable())
        work();
}

void LzhSegmentEncoder::joinHelper() {
    if (m_thread.joinable())
        m_thread.join();
    m_joiner.write(m_helperOutput.data(), m_helperOutput.size());
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
            m_input, m_history.size()));
    } else {
        endSegment();
    }
    m_joiner.finish();
}

} // namespace vadok::archiver

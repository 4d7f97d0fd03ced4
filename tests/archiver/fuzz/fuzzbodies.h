#pragma once

#include <cstddef>
#include <cstdint>

// The bodies of the libFuzzer targets, shared with the regression test that replays saved
// inputs under the normal build. Each returns quietly for any input the code handles soundly
// and traps on a fault (a round trip that differs, an archive that does not read back).
namespace vadok::archiver::fuzz {

// Byte 0 picks the method, byte 1 the size of the pieces fed to the encoder, the rest is the
// data; it must decode back identically through libarchive.
void encoderRoundTrip(const std::uint8_t* data, std::size_t size);

// The input is an existing archive that a store updates with a small folder: the header
// reader must not crash, and a store that succeeds must leave an archive that reads back.
// The same bytes are then expanded, which must fail cleanly or stay inside the destination.
void archiveUpdate(const std::uint8_t* data, std::size_t size);

// The input is expanded as an LZH and as a ZIP archive. An expansion that succeeds must
// leave nothing below the destination that resolves outside it, links followed, and
// nothing beside it.
void archiveExpand(const std::uint8_t* data, std::size_t size);

} // namespace vadok::archiver::fuzz

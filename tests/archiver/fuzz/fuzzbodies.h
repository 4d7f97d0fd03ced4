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

// Byte 0 picks the input's form: 0 and 1 an LZH or a ZIP archive as it is, 2 and 3 one built
// from fields (fieldarchive.h). Every header walk over it (the index, the sizes panel's, the ZIP
// directory's) must end, each step forward and inside the file, and agree on the totals,
// which never wrap round; an expansion of what cannot fit must fail before it writes.
void headerWalk(const std::uint8_t* data, std::size_t size);

// Bit 0 of byte 0 makes the first expansion refuse links, as on a stick; the rest is a list
// of stand-ins planted in an application's folder, which then goes through a store, an
// expansion, a second store and the read-back check: every file must come back.
void standInList(const std::uint8_t* data, std::size_t size);

} // namespace vadok::archiver::fuzz

#pragma once

#include <QtGlobal>
#include <optional>

namespace vadok {

// The user running this process.
uint currentUserId();

// The user of the process at the other end of a connected local socket: the one that
// connected, seen from the listening side; the one that listens, seen from the connecting
// side. nullopt when the system cannot say.
std::optional<uint> localPeerUserId(qintptr socketDescriptor);

} // namespace vadok

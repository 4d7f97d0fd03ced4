#include "platform/localpeer.h"

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace vadok {

uint currentUserId() {
    return uint(::getuid());
}

std::optional<uint> localPeerUserId(qintptr socketDescriptor) {
    if (socketDescriptor < 0)
        return std::nullopt;
#if defined(SO_PEERCRED)
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(int(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
        size != sizeof credentials)
        return std::nullopt;
    return uint(credentials.uid);
#else
    uid_t user = 0;
    gid_t group = 0;
    if (::getpeereid(int(socketDescriptor), &user, &group) != 0)
        return std::nullopt;
    return uint(user);
#endif
}

} // namespace vadok

#pragma once
// One Modbus TCP connection of a device: the socket and the numbering of its requests.
#include <cstdint>

#include "platform/tcp_sockets.h"

namespace velk {

struct TcpConnection {
    SocketHolder socket;
    // Transaction identifier of the last request sent on this connection (never 0).
    std::uint16_t lastTransaction = 0;
};

}  // namespace velk

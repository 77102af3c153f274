#pragma once
// One Modbus TCP connection of a device: the socket and what the exchanges remember about
// the byte stream on it.
#include <cstdint>

#include "platform/tcp_sockets.h"

namespace velk {

struct TcpConnection {
    SocketHolder socket;
    // Transaction identifier of the last request sent on this connection.
    std::uint16_t lastTransaction = 0;
    // Set when an answer may still be on its way or was not read to its end (after a
    // time-out, an error or a short receive): the next request first drops what is waiting.
    bool unsettled = false;
};

}  // namespace velk

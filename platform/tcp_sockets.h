#pragma once
// TCP client and server sockets with time-outs, as the Modbus TCP channels and the
// redundancy link use them. A socket holder holds one socket or none; every operation that
// closes a socket sets the holder to none.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velk {

struct SocketHolder {
    int handle = -1;
    bool Empty() const { return handle < 0; }
};

class ITcpSockets {
  public:
    virtual ~ITcpSockets() = default;

    // Creates a TCP socket in non-blocking mode into an empty holder; false when it fails.
    virtual bool CreateNonBlocking(SocketHolder& holder) = 0;
    // Connects the held (non-blocking) socket, waiting up to the connect wait (5 s) for it to
    // complete; false when it failed, timed out, or the holder is empty.
    virtual bool ConnectTimed(SocketHolder& holder, std::string_view address,
                              std::uint16_t port) = 0;
    // Bytes sent; -1 on error; -2 when a socket that would block stayed busy for timeoutMs.
    virtual int SendTimed(SocketHolder& holder, const std::uint8_t* bytes, int count,
                          std::uint32_t timeoutMs) = 0;
    // Bytes received (0 when the peer closed); -1 on error (the receive time-out of a
    // blocking socket shows as -1 with LastErrorWasTimeout); -2 when a socket that would
    // block got nothing within timeoutMs.
    virtual int RecvTimed(SocketHolder& holder, std::uint8_t* buffer, int count,
                          std::uint32_t timeoutMs) = 0;
    // 1 when a connection was accepted at once; otherwise, after waiting up to 5 s: positive
    // when accepted, 0 when none came, -1 on error.
    virtual int AcceptTimed(SocketHolder& listening, SocketHolder& accepted) = 0;
    // Shuts both directions down and closes; nothing when empty.
    virtual void CloseSocket(SocketHolder& holder) = 0;
    // Creates and connects a blocking socket with the send and receive time-outs (5 s) set;
    // the holder is empty afterwards when anything failed.
    virtual bool OpenConnection(SocketHolder& holder, std::string_view address,
                                std::uint16_t port) = 0;
    // Whether the last failed send or receive of the calling thread ended by its time-out.
    virtual bool LastErrorWasTimeout() const = 0;
    // Waits up to waitMs for bytes on a socket, blocking or not, and takes what is there, up
    // to count: bytes received, 0 when the peer closed, -1 on error, -2 when nothing came
    // within waitMs (LastErrorWasTimeout is then true). A caller that receives a frame in
    // pieces against one deadline passes what is left of it.
    virtual int RecvWithin(SocketHolder& holder, std::uint8_t* buffer, int count,
                           std::uint32_t waitMs) = 0;
    // How long a connection made by OpenConnection waits for a send or a receive.
    virtual std::uint32_t ConnectionWaitMs() const = 0;
    // Waits up to waitMs until at least one of the sockets has something to take: bytes, a
    // connection to accept, the peer's close or an error. ready[i] tells it of holders[i];
    // the number of such sockets, 0 when none within waitMs, -1 when the wait failed.
    virtual int WaitReadable(std::span<const SocketHolder> holders, std::uint32_t waitMs,
                             std::vector<bool>& ready) = 0;
    // Reads and drops every byte already waiting on the socket without waiting for more;
    // the number of bytes dropped.
    virtual std::size_t DiscardPending(SocketHolder& holder) = 0;
    // A listening socket on the address and port (0: the system picks one); false on failure.
    virtual bool Listen(SocketHolder& holder, std::string_view address, std::uint16_t port) = 0;
    // The local port of a bound socket; 0 when unknown.
    virtual std::uint16_t LocalPort(const SocketHolder& holder) const = 0;

    // The steps of a listening socket one by one, for callers that report each failure:
    // bind the held socket to the address and port, then listen with the largest backlog
    // the system allows. False when the step failed; the holder is left as it was.
    virtual bool Bind(SocketHolder& holder, std::string_view address, std::uint16_t port) = 0;
    virtual bool StartListening(SocketHolder& holder) = 0;
    // Switches a held socket (an accepted one, say) to non-blocking mode, so that the
    // time-outs of SendTimed and RecvTimed apply to it.
    virtual bool MakeNonBlocking(SocketHolder& holder) = 0;
    // The dotted IPv4 address of the connected peer; empty when unknown.
    virtual std::string PeerAddress(const SocketHolder& holder) const = 0;
    // WaitReadable for a loop that also writes: waits up to waitMs until a socket has
    // something to take or, where wantWrite[i] is set, room for more bytes. readable[i] and
    // writable[i] tell it of holders[i]; the number of sockets ready, 0 when none within
    // waitMs, -1 when the wait failed.
    virtual int WaitReady(std::span<const SocketHolder> holders, const std::vector<bool>& wantWrite,
                          std::uint32_t waitMs, std::vector<bool>& readable,
                          std::vector<bool>& writable) = 0;
    // The system's text of why the calling thread's last failed call (a Bind, say) failed;
    // asked right after it.
    virtual std::string LastErrorText() const = 0;
};

}  // namespace velk

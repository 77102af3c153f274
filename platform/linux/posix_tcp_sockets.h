#pragma once
// TCP sockets over the POSIX socket calls. The connect and accept waits and the send and
// receive time-outs of a connection are 5 s; tests may shorten them.
#include "platform/tcp_sockets.h"

namespace velk {

class PosixTcpSockets final : public ITcpSockets {
  public:
    explicit PosixTcpSockets(std::uint32_t connectWaitMs = 5000,
                             std::uint32_t connectionTimeoutMs = 5000)
        : connectWaitMs_(connectWaitMs), connectionTimeoutMs_(connectionTimeoutMs) {}

    bool CreateNonBlocking(SocketHolder& holder) override;
    bool ConnectTimed(SocketHolder& holder, std::string_view address, std::uint16_t port) override;
    int SendTimed(SocketHolder& holder, const std::uint8_t* bytes, int count,
                  std::uint32_t timeoutMs) override;
    int RecvTimed(SocketHolder& holder, std::uint8_t* buffer, int count,
                  std::uint32_t timeoutMs) override;
    int AcceptTimed(SocketHolder& listening, SocketHolder& accepted) override;
    void CloseSocket(SocketHolder& holder) override;
    bool OpenConnection(SocketHolder& holder, std::string_view address,
                        std::uint16_t port) override;
    bool LastErrorWasTimeout() const override;
    int RecvWithin(SocketHolder& holder, std::uint8_t* buffer, int count,
                   std::uint32_t waitMs) override;
    std::uint32_t ConnectionWaitMs() const override { return connectionTimeoutMs_; }
    int WaitReadable(std::span<const SocketHolder> holders, std::uint32_t waitMs,
                     std::vector<bool>& ready) override;
    std::size_t DiscardPending(SocketHolder& holder) override;
    bool Listen(SocketHolder& holder, std::string_view address, std::uint16_t port) override;
    std::uint16_t LocalPort(const SocketHolder& holder) const override;
    bool Bind(SocketHolder& holder, std::string_view address, std::uint16_t port) override;
    bool StartListening(SocketHolder& holder) override;
    bool MakeNonBlocking(SocketHolder& holder) override;
    std::string PeerAddress(const SocketHolder& holder) const override;
    int WaitReady(std::span<const SocketHolder> holders, const std::vector<bool>& wantWrite,
                  std::uint32_t waitMs, std::vector<bool>& readable,
                  std::vector<bool>& writable) override;
    std::string LastErrorText() const override;

  private:
    std::uint32_t connectWaitMs_;
    std::uint32_t connectionTimeoutMs_;
};

}  // namespace velk

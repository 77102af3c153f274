#pragma once
// The OPC UA front: the thread "OpcUa" that listens on the bound addresses, serves every UA
// TCP connection in one wait loop (each with its ServerSecureChannel) and drives the request
// handler, the UaServer, which only this thread calls. The handler's slow service calls run
// on a pool of four workers ("OpcUaWork"), which post their answers back to the thread; a
// wake event ends the loop's wait for such a post at once.
//
// Nothing here stops the server: an address that cannot be bound is traced and tried again
// every bindRetryMs, and a client that misbehaves loses its own connection only (a send
// queue past its bound, a protocol error, the Hello or a token's lifetime run out).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/opcua/ua_front_options.h"
#include "opcua/server/ua_server.h"
#include "platform/worker_thread.h"

namespace velk {

class IClientCounter;
class IClock;
class ITcpSockets;

// What the front drives: the UaServer's calls that its thread makes.
class IUaRequestHandler {
  public:
    virtual ~IUaRequestHandler() = default;
    virtual void OnRequest(const ua::ChannelInfo& channel, ua::ServiceRequest request) = 0;
    virtual void OnChannelClosed(std::uint32_t channelId) = 0;
    virtual void Tick() = 0;
    // When Tick has work next (UTC); 0 with nothing to run.
    virtual FileTime NextDue() const = 0;
};

// What the handler is made with, on the front's thread at its start; it lives until the
// thread ends.
struct UaHandlerContext {
    const ua::UaServerConfig& config;
    ua::IChannelOutput& output;
    ua::IServiceWork& work;
    std::function<void(const std::string&)> trace;
    // The number of sessions whenever it changes.
    std::function<void(std::size_t)> sessionCountChanged;
};
using UaHandlerFactory =
    std::function<std::unique_ptr<IUaRequestHandler>(const UaHandlerContext& context)>;

struct UaFrontServices {
    const IClock& clock;
    // The loop accepts only a listener found readable, so the sockets' accept wait should
    // be 0 (PosixTcpSockets(0)): a client that resets before the accept then costs nothing.
    ITcpSockets& sockets;
    // Each UA session counts as a client for the device threads.
    IClientCounter& clients;
    UaHandlerFactory makeHandler;
    // Where the front's trace lines go; the trace file when not given.
    std::function<void(const std::string&)> trace;
};

class UaFront {
  public:
    explicit UaFront(UaFrontServices services);
    ~UaFront();
    UaFront(const UaFront&) = delete;
    UaFront& operator=(const UaFront&) = delete;

    // Starts the thread; false (traced) when it runs already or the system refuses it.
    bool Start(const UaFrontOptions& options);
    // Closes every connection and the listeners, stops the workers, ends the handler and
    // joins the thread, each within a bounded wait.
    void Stop();
    bool IsRunning() const { return thread_ != nullptr; }

    // The ports listened on now, one per bound address (what port 0 became); from any thread.
    std::vector<std::uint16_t> ListeningPorts() const;
    std::size_t ConnectionCount() const { return connectionCount_.load(); }

  private:
    class Loop;
    void Trace(const std::string& line) const;

    UaFrontServices services_;
    std::unique_ptr<Loop> loop_;
    std::unique_ptr<WorkerThread> thread_;
    mutable std::mutex portsLock_;  // a leaf: guards ports_ only
    std::vector<std::uint16_t> ports_;
    std::atomic<std::size_t> connectionCount_{0};
};

}  // namespace velk

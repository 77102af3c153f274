#pragma once
// The copy of the trace on standard output ("EchoTrace"), written by a thread of its own: a
// reader that stops reading (a full pipe, a terminal on hold) stalls only that thread, never
// one that traces. Push never waits. While more than the limit of lines wait, further
// lines are dropped, and the writer says how many when it catches up.
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/worker_thread.h"

namespace velk {

class TraceEcho {
  public:
    using Writer = std::function<void(const std::string& line)>;
    static constexpr std::size_t kDefaultMaxWaiting = 4096;
    // How long the destructor lets the writer finish what waits; a writer still blocked
    // then is left to end on its own.
    static constexpr int kStopWaitMs = 1000;

    explicit TraceEcho(Writer writer, std::size_t maxWaiting = kDefaultMaxWaiting);
    ~TraceEcho();
    TraceEcho(const TraceEcho&) = delete;
    TraceEcho& operator=(const TraceEcho&) = delete;

    // Queues one line for the writer; never blocks.
    void Push(std::string line);

    // The text written in place of lines that were dropped.
    static std::string DroppedText(std::size_t count);

  private:
    struct Shared {
        std::atomic<std::size_t> waiting{0};
        std::atomic<std::size_t> dropped{0};
    };
    std::size_t maxWaiting_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    WorkerThread thread_{"TraceEcho"};
};

}  // namespace velk

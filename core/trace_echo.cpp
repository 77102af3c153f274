#include "core/trace_echo.h"

#include <chrono>

namespace velk {
namespace {
constexpr std::uint32_t WM_ECHO_LINE = WM_USER + 1;
// Stands where the first of a run of dropped lines would have been; one at a time.
constexpr std::uint32_t WM_ECHO_DROPPED = WM_USER + 2;

struct LinePayload final : MessagePayload {
    explicit LinePayload(std::string text) : line(std::move(text)) {}
    std::string line;
};
}  // namespace

TraceEcho::TraceEcho(Writer writer, std::size_t maxWaiting) : maxWaiting_(maxWaiting) {
    // The procedure owns its writer and shared counts, so that it may outlive this object
    // when the destructor gives up on a writer that blocks.
    thread_.Start([writer = std::move(writer), shared = shared_](MessageQueue& queue) {
        const auto reportDropped = [&] {
            if (const std::size_t dropped = shared->dropped.exchange(0); dropped != 0) {
                writer(DroppedText(dropped));
            }
        };
        Message message;
        while (queue.Get(message)) {
            if (const auto* payload = message.PayloadAs<LinePayload>()) {
                writer(payload->line);
                --shared->waiting;
            } else if (message.id == WM_ECHO_DROPPED) {
                reportDropped();
            }
        }
        reportDropped();
        return 0;
    });
}

TraceEcho::~TraceEcho() {
    // What waits is written first: the quit comes after it.
    thread_.PostQuit();
    thread_.Join(std::chrono::milliseconds(kStopWaitMs));
}

void TraceEcho::Push(std::string line) {
    // The count may run one or two past the limit when threads push at once; the bound is
    // on memory, not exact.
    if (shared_->waiting.load() >= maxWaiting_) {
        if (shared_->dropped++ == 0) thread_.Post(WM_ECHO_DROPPED);
        return;
    }
    ++shared_->waiting;
    thread_.Post(WM_ECHO_LINE, 0, std::make_unique<LinePayload>(std::move(line)));
}

std::string TraceEcho::DroppedText(std::size_t count) {
    return "(" + std::to_string(count) + " trace line(s) not echoed: standard output was blocked)";
}

}  // namespace velk

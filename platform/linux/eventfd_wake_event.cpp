// The wake as a Linux eventfd: one counter, readable while non-zero.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/wake_event.h"

namespace velk {
namespace {

class EventFdWake final : public IWakeEvent {
  public:
    explicit EventFdWake(int fd) : fd_(fd) {}
    ~EventFdWake() override { ::close(fd_); }
    EventFdWake(const EventFdWake&) = delete;
    EventFdWake& operator=(const EventFdWake&) = delete;

    SocketHolder Holder() const override { return SocketHolder{fd_}; }
    void Signal() override {
        const std::uint64_t one = 1;
        // A full counter (never reached in practice) is still readable: nothing is lost.
        while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
    void Clear() override {
        std::uint64_t count = 0;
        while (::read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }

  private:
    const int fd_;
};

}  // namespace

std::unique_ptr<IWakeEvent> MakeWakeEvent() {
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<EventFdWake>(fd);
}

}  // namespace velk

#pragma once
// The back-off of a device that stopped answering: after the device's number of failed
// exchanges in a row, only one poll cycle in its back-off cycles goes to the wire, until an
// exchange is answered again, so that a dead controller on a shared line does not take the
// time of the others. The communication alarm and the qualities are those of the failed
// reads before it; a skipped cycle reports nothing to the supervision.
#include <cstdint>
#include <map>
#include <mutex>

namespace velk {

class ODevice;

class PollBackoff {
  public:
    // Whether this poll cycle of the device goes to the wire.
    bool Admit(const ODevice& device);
    // One exchange of the device: answered (valid or an exception answer) or not.
    void Record(const ODevice& device, bool answered);
    // Whether the device is backed off now.
    bool BackedOff(const ODevice& device);

  private:
    struct State {
        std::uint32_t failures = 0;  // exchanges in a row without an answer
        std::uint32_t skipped = 0;   // cycles skipped since the last one on the wire
    };
    static bool Over(const ODevice& device, const State& state);

    std::mutex lock_;
    std::map<const ODevice*, State> states_;
};

}  // namespace velk

#include "platform/dbus/bus_sink_channel.h"

namespace velk {

void BusSinkChannel::Call(BusSinkCall call, BusSinkCompletion done) const {
    if (!sender_ || !*sender_) {
        if (done) done(RPC_E_DISCONNECTED, {});
        return;
    }
    (*sender_)(client_, std::move(call), std::move(done));
}

}  // namespace velk

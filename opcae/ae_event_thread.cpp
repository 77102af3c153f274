#include "opcae/ae_event_thread.h"

namespace velk {

int RunAeEventThread(MessageQueue& queue, IAeEventDistributor& distributor) {
    Message message;
    while (queue.Get(message)) {
        if (message.id != WM_AE_EVENT) continue;
        const BEvent* event = message.PayloadAs<BEvent>();
        if (event != nullptr && event->HasSource() && distributor.HasClients()) {
            distributor.DistributeToAeServers(*event);
        }
        // The record dies with the message, delivered or not.
        message.payload.reset();
    }
    return 0;
}

}  // namespace velk

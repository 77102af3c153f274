#pragma once
// Hands an acknowledgement record to every AE server object of the application's list, as
// the AE event thread does, so that every client's subscriptions see it.
#include <mutex>

#include "opc/server_object_lists.h"
#include "opcae/ae_event_thread.h"

namespace velk {

class AeServerListDistributor final : public IAeEventDistributor {
  public:
    explicit AeServerListDistributor(ServerObjectLists& lists) : lists_(lists) {}

    bool HasClients() const override {
        std::lock_guard lock(lists_.Lock());
        return !lists_.AE().empty();
    }
    void DistributeToAeServers(const BEvent& event) override {
        std::lock_guard lock(lists_.Lock());  // ServerListLock
        for (IAEServerObject* server : lists_.AE()) server->DistributeEvent(event);
    }

  private:
    ServerObjectLists& lists_;
};

}  // namespace velk

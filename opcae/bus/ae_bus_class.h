#pragma once
// The AE server class on the bus: every CreateInstance makes one OPCEventServer for the
// calling client, with the context the application supplies at that moment.
#include <functional>
#include <optional>
#include <string>

#include "opcae/ae_server_context.h"
#include "platform/dbus/bus_object.h"

namespace velk {

class AeBusClass final : public IBusClass {
  public:
    // The context of a new server object; none while the server has no configuration
    // document yet (the creation is then refused with CLASS_E_CLASSNOTAVAILABLE).
    using ContextSource = std::function<std::optional<AeServerContext>()>;

    AeBusClass(std::string busName, std::string factoryPath, ContextSource contextSource);

    std::string BusName() const override { return busName_; }
    std::string FactoryPath() const override { return factoryPath_; }
    BusInstanceResult CreateInstance(const std::string& client,
                                     std::shared_ptr<BusSinkChannel> sinks) override;

  private:
    std::string busName_;
    std::string factoryPath_;
    ContextSource contextSource_;
};

}  // namespace velk

#pragma once
// A server class whose objects this build cannot make yet: its name is held and its
// factory answers, so that activation and the name work, but every creation is refused
// with CLASS_E_CLASSNOTAVAILABLE.
#include <string>

#include "platform/dbus/bus_object.h"

namespace velk {

class UnavailableBusClass final : public IBusClass {
  public:
    UnavailableBusClass(std::string busName, std::string factoryPath)
        : busName_(std::move(busName)), factoryPath_(std::move(factoryPath)) {}
    std::string BusName() const override { return busName_; }
    std::string FactoryPath() const override { return factoryPath_; }
    BusInstanceResult CreateInstance(const BusClient&, std::shared_ptr<BusSinkChannel>) override {
        return {CLASS_E_CLASSNOTAVAILABLE, nullptr};
    }

  private:
    std::string busName_;
    std::string factoryPath_;
};

}  // namespace velk

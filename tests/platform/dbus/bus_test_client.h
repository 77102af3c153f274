#pragma once
// A client connection of a test, on the private bus: creates instances through a class
// factory and calls their methods, with failures caught as bus error name and message.
#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/dbus/module_lock.h"

namespace velk::testing {

// Counts module locks as the application object does.
class CountingModuleLock final : public IModuleLock {
  public:
    void Lock() override { ++count_; }
    void Unlock() override { --count_; }
    int Count() const { return count_.load(); }

  private:
    std::atomic<int> count_{0};
};

struct BusFailure {
    std::string name;
    std::string message;
};

class BusTestClient {
  public:
    explicit BusTestClient(const std::string& address)
        : connection_(sdbus::createSessionBusConnectionWithAddress(address)) {}

    sdbus::IConnection& Connection() { return *connection_; }
    std::string UniqueName() const { return connection_->getUniqueName(); }
    std::unique_ptr<sdbus::IProxy> Proxy(const std::string& destination, const std::string& path) {
        return sdbus::createProxy(*connection_, destination, path);
    }

    // The instance path, or "" with the failure.
    std::string CreateInstance(const std::string& busName, const std::string& factoryPath,
                               BusFailure* failure = nullptr) {
        try {
            auto factory = Proxy(busName, factoryPath);
            sdbus::ObjectPath path;
            factory->callMethod("CreateInstance")
                .onInterface("VELK.ClassFactory")
                .storeResultsTo(path);
            return path;
        } catch (const sdbus::Error& error) {
            if (failure) *failure = {error.getName(), error.getMessage()};
            return {};
        }
    }

    // Runs a call and returns its failure; an empty name when it succeeded.
    template <class Call>
    static BusFailure Try(Call call) {
        try {
            call();
        } catch (const sdbus::Error& error) {
            return {error.getName(), error.getMessage()};
        }
        return {};
    }

  private:
    std::unique_ptr<sdbus::IConnection> connection_;
};

}  // namespace velk::testing

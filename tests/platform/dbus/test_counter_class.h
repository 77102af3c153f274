#pragma once
// A small server class for the bus host's tests: each client's instance keeps its own
// running total, reports chosen result codes, creates child objects, and calls back a
// sink that its client names.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dbus/bus_object.h"

namespace velk::testing {

inline constexpr const char* kCounterInterface = "VELK.Test.ICounter";
inline constexpr const char* kItemInterface = "VELK.Test.IItem";
inline constexpr const char* kSinkInterface = "VELK.Test.ISink";

// What the instances report to the test: the outcomes of their sink calls.
class CounterRecord {
  public:
    void AddCompletion(HRESULT result);
    std::vector<HRESULT> Completions() const;
    // Waits until at least count completions are there; false after the time-out.
    bool WaitForCompletions(std::size_t count, std::chrono::milliseconds timeout) const;

    // A call that holds its handler until the test lets it go.
    void HoldCall();
    bool WaitUntilHeld(std::chrono::milliseconds timeout) const;
    bool Holding() const;
    void LetGo();
    // Makes the end of each instance hold until the test lets go, as an object whose end
    // waits for a thread in a device exchange.
    std::atomic<bool> holdEnds{false};

  private:
    bool holding_ = false;
    bool letGo_ = false;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<HRESULT> completions_;
};

class TestCounterClass final : public IBusClass {
  public:
    TestCounterClass(std::string busName, std::string factoryPath,
                     std::vector<std::string> arguments = {});

    std::string BusName() const override { return busName_; }
    std::string FactoryPath() const override { return factoryPath_; }
    BusInstanceResult CreateInstance(const BusClient& client,
                                     std::shared_ptr<BusSinkChannel> sinks) override;

    // Refuses every further instance with the code (S_OK creates again).
    void RefuseWith(HRESULT code) { refusal_ = code; }
    // Makes each further creation wait until the record lets its held calls go, as a class
    // whose creation waits for a lock that a device exchange holds.
    void HoldCreations(bool hold) { holdCreations_ = hold; }
    const std::shared_ptr<CounterRecord>& Record() const { return record_; }
    // The client of the latest instance, as the host described it.
    BusClient LastClient() const {
        std::lock_guard lock(clientMutex_);
        return lastClient_;
    }

  private:
    std::string busName_;
    std::string factoryPath_;
    std::vector<std::string> arguments_;
    std::atomic<HRESULT> refusal_{S_OK};
    std::atomic<bool> holdCreations_{false};
    mutable std::mutex clientMutex_;
    BusClient lastClient_;
    std::shared_ptr<CounterRecord> record_ = std::make_shared<CounterRecord>();
};

}  // namespace velk::testing

#include "tests/platform/dbus/test_counter_class.h"

namespace velk::testing {
namespace {

class TestItem final : public IBusObject {
  public:
    explicit TestItem(std::string name) : name_(std::move(name)) {}
    std::vector<BusInterface> Interfaces() override {
        return {{kItemInterface, {{"Name", "", {}, "s", {"name"}, [this](BusCall&) {
                                       return BusReply::Ok({BusValue::String(name_)});
                                   }}}}};
    }

  private:
    std::string name_;
};

class TestCounter final : public IBusObject {
  public:
    TestCounter(std::shared_ptr<BusSinkChannel> sinks, std::shared_ptr<CounterRecord> record,
                std::vector<std::string> arguments)
        : sinks_(std::move(sinks)), record_(std::move(record)), arguments_(std::move(arguments)) {}
    ~TestCounter() override {
        if (record_->holdEnds) record_->HoldCall();
    }
    TestCounter(const TestCounter&) = delete;
    TestCounter& operator=(const TestCounter&) = delete;

    std::vector<BusInterface> Interfaces() override {
        return {
            {kCounterInterface,
             {{"Add", "i", {"amount"}, "i", {"total"}, [this](BusCall& c) { return Add(c); }},
              {"Fail", "i", {"code"}, "", {}, [](BusCall& c) { return Fail(c); }},
              {"Succeed", "i", {"code"}, "i", {"hresult"}, [](BusCall& c) { return Succeed(c); }},
              {"CreateChild",
               "s",
               {"name"},
               "o",
               {"child"},
               [](BusCall& c) { return CreateChild(c); }},
              {"RemoveChild", "o", {"child"}, "", {}, [](BusCall& c) { return RemoveChild(c); }},
              {"Advise", "o", {"sink"}, "", {}, [this](BusCall& c) { return Advise(c); }},
              {"Notify", "u", {"timeoutMs"}, "", {}, [this](BusCall& c) { return Notify(c); }},
              {"Completions",
               "",
               {},
               "ai",
               {"results"},
               [this](BusCall&) { return Completions(); }},
              {"Arguments",
               "",
               {},
               "as",
               {"arguments"},
               [this](BusCall&) { return BusReply::Ok({BusValue::StringArray(arguments_)}); }},
              {"Echo",
               "v",
               {"value"},
               "v",
               {"value"},
               [](BusCall& c) { return BusReply::Ok({c.arguments[0]}); }},
              {"Hold",
               "",
               {},
               "",
               {},
               [this](BusCall&) {
                   record_->HoldCall();
                   return BusReply::Ok();
               }},
              {"BadReply", "", {}, "i", {"value"}, [](BusCall&) {
                   return BusReply::Ok({BusValue::String("not a number")});
               }}}}};
    }

  private:
    BusReply Add(BusCall& call) {
        total_ += *call.arguments[0].Get<std::int32_t>();
        return BusReply::Ok({BusValue::Int32(total_)});
    }
    static BusReply Fail(BusCall& call) {
        return BusReply::Fail(*call.arguments[0].Get<std::int32_t>(), "asked to fail");
    }
    static BusReply Succeed(BusCall& call) {
        const HRESULT code = *call.arguments[0].Get<std::int32_t>();
        if (Failed(code)) return BusReply::Fail(E_INVALIDARG, "not a success code");
        return BusReply::Ok({BusValue::Int32(code)});
    }
    static BusReply CreateChild(BusCall& call) {
        const std::string path =
            call.scope.ExportChild("Item", std::make_unique<TestItem>(*call.arguments[0].Text()));
        if (path.empty()) return BusReply::Fail(E_FAIL);
        return BusReply::Ok({BusValue::ObjectPath(path)});
    }
    static BusReply RemoveChild(BusCall& call) {
        if (!call.scope.RemoveObject(*call.arguments[0].Text()))
            return BusReply::Fail(E_INVALIDARG);
        return BusReply::Ok();
    }
    BusReply Advise(BusCall& call) {
        sinkPath_ = *call.arguments[0].Text();
        return BusReply::Ok();
    }
    BusReply Notify(BusCall& call) {
        if (sinkPath_.empty()) return BusReply::Fail(CONNECT_E_NOCONNECTION);
        BusSinkCall sinkCall;
        sinkCall.objectPath = sinkPath_;
        sinkCall.interfaceName = kSinkInterface;
        sinkCall.method = "OnNotify";
        sinkCall.arguments = {BusValue::Int32(total_)};
        sinkCall.timeout = std::chrono::milliseconds(*call.arguments[0].Get<std::uint32_t>());
        // The record outlives this object, which a release may destroy before the answer.
        std::shared_ptr<CounterRecord> record = record_;
        sinks_->Call(std::move(sinkCall), [record](HRESULT result, const BusValue::Items&) {
            record->AddCompletion(result);
        });
        return BusReply::Ok();
    }
    BusReply Completions() {
        BusValue::Items results;
        for (HRESULT code : record_->Completions()) results.push_back(BusValue::Int32(code));
        return BusReply::Ok({BusValue::Array("i", std::move(results))});
    }

    std::shared_ptr<BusSinkChannel> sinks_;
    std::shared_ptr<CounterRecord> record_;
    std::vector<std::string> arguments_;
    std::int32_t total_ = 0;
    std::string sinkPath_;
};

}  // namespace

void CounterRecord::AddCompletion(HRESULT result) {
    {
        std::lock_guard lock(mutex_);
        completions_.push_back(result);
    }
    changed_.notify_all();
}

std::vector<HRESULT> CounterRecord::Completions() const {
    std::lock_guard lock(mutex_);
    return completions_;
}

bool CounterRecord::WaitForCompletions(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return completions_.size() >= count; });
}

void CounterRecord::HoldCall() {
    std::unique_lock lock(mutex_);
    holding_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return letGo_; });
    holding_ = false;
}

bool CounterRecord::WaitUntilHeld(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return holding_; });
}

bool CounterRecord::Holding() const {
    std::lock_guard lock(mutex_);
    return holding_;
}

void CounterRecord::LetGo() {
    {
        std::lock_guard lock(mutex_);
        letGo_ = true;
    }
    changed_.notify_all();
}

TestCounterClass::TestCounterClass(std::string busName, std::string factoryPath,
                                   std::vector<std::string> arguments)
    : busName_(std::move(busName)),
      factoryPath_(std::move(factoryPath)),
      arguments_(std::move(arguments)) {}

BusInstanceResult TestCounterClass::CreateInstance(const BusClient& client,
                                                   std::shared_ptr<BusSinkChannel> sinks) {
    {
        std::lock_guard lock(clientMutex_);
        lastClient_ = client;
    }
    if (holdCreations_) record_->HoldCall();
    if (Failed(refusal_)) return {refusal_, nullptr};
    return {S_OK, std::make_unique<TestCounter>(std::move(sinks), record_, arguments_)};
}

}  // namespace velk::testing

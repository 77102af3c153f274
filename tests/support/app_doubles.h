#pragma once
// Doubles of the platform and subsystem interfaces that the application object drives.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/app_interfaces.h"
#include "modbus/device_acquisition_control.h"
#include "model/document_services.h"
#include "opc/server_objects.h"
#include "platform/session.h"
#include "platform/single_instance.h"

namespace velk::testing {

// A shared, ordered log of what the doubles were asked to do.
class CallLog {
  public:
    void Add(std::string entry) {
        std::lock_guard lock(mutex_);
        entries_.push_back(std::move(entry));
    }
    std::vector<std::string> Entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }
    int Count(const std::string& entry) const {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& e : entries_) n += e == entry;
        return n;
    }
    // Position of the first entry, or -1.
    int IndexOf(const std::string& entry) const {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i] == entry) return static_cast<int>(i);
        }
        return -1;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
};

class FakeAdmin final : public IAdminCheck {
  public:
    explicit FakeAdmin(bool admin = true) : admin(admin) {}
    bool IsAdministrator() const override { return admin; }
    bool admin;
};

class RecordingMessageBox final : public IMessageBox {
  public:
    void Show(const std::string& text, MessageKind) override { shown.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        shown.push_back(text);
        return answer;
    }
    std::vector<std::string> shown;
    bool answer = false;
};

class FakeSingleInstance final : public ISingleInstance {
  public:
    InstanceLock Acquire(std::function<void()> onShow) override {
        ++acquires;
        if (freeAfterAcquires != 0 && acquires > freeAfterAcquires) lock = InstanceLock::Acquired;
        onShowRequest = std::move(onShow);
        held = lock == InstanceLock::Acquired;
        return lock;
    }
    bool NotifyRunningInstance() override {
        ++notifications;
        return runningInstanceAnswers;
    }
    void StopAnswering() override { runningInstanceAnswers = false; }
    void Release() override { held = false; }
    int SystemServiceProcess() const override { return serviceProcess; }

    InstanceLock lock = InstanceLock::Acquired;
    int serviceProcess = 0;
    bool runningInstanceAnswers = true;
    bool held = false;
    int acquires = 0;
    int notifications = 0;
    int freeAfterAcquires = 0;  // a holder that ends after so many attempts (0: never)
    std::function<void()> onShowRequest;
};

class FakeWindow final : public IMainWindow {
  public:
    void Show() override { visible = true, ++shows; }
    void Hide() override { visible = false; }
    void BringToFront() override { ++raises; }
    bool IsVisible() const override { return visible; }
    void Pause(IClock& clock, std::uint32_t milliseconds) override {
        if (duringPause) duringPause();
        clock.Sleep(milliseconds);
    }
    bool ConfirmClose() override {
        ++closeQuestions;
        if (duringCloseQuestion) duringCloseQuestion();
        return closeConfirmed;
    }
    bool visible = false;
    bool closeConfirmed = true;  // the answer to the unsaved-edits question
    int closeQuestions = 0;
    std::function<void()> duringCloseQuestion;
    int shows = 0;
    int raises = 0;
    std::function<void()> duringPause;  // what reaches the window while it pauses
};

class FakeDocument final : public IAppDocument {
  public:
    explicit FakeDocument(CallLog& log) : log(log) {}
    bool OpenDocument(const std::string& path) override {
        log.Add("open " + path);
        return openSucceeds;
    }
    bool NewDocument() override {
        log.Add("new");
        return newSucceeds;
    }
    bool IsMonitorRunning() const override { return monitorRunning; }
    void StopMonitor() override {
        log.Add("stop monitor");
        monitorRunning = false;
    }
    CallLog& log;
    bool openSucceeds = true;
    bool newSucceeds = true;
    bool monitorRunning = false;
};

class FakeDevices final : public IDeviceAcquisition {
  public:
    explicit FakeDevices(CallLog& log) : log(log) {}
    void StartAllDevices() override { log.Add("start devices"); }
    void StopAllDevices() override { log.Add("stop devices"); }
    CallLog& log;
};

class FakeDAServer final : public IDAServerObject {
  public:
    FakeDAServer(CallLog& log, std::string name, int answer = 0)
        : log(log), name(std::move(name)), answer(answer) {}
    int RequestClientShutdown(const std::string& reason) override {
        log.Add("shutdown " + name + (reason.empty() ? "" : " " + reason));
        return answer;
    }
    std::size_t GroupCount() const override { return groups; }
    CallLog& log;
    std::string name;
    int answer;
    std::size_t groups = 0;
};

class FakeAEServer final : public IAEServerObject {
  public:
    FakeAEServer(CallLog& log, std::string name, int answer = 0)
        : log(log), name(std::move(name)), answer(answer) {}
    int RequestClientShutdown(const std::string& reason) override {
        log.Add("shutdown " + name + (reason.empty() ? "" : " " + reason));
        return answer;
    }
    void DistributeEvent(const BEvent&) override { ++events; }
    std::size_t SubscriptionCount() const override { return subscriptions; }
    CallLog& log;
    std::string name;
    int answer;
    std::atomic<int> events{0};
    std::size_t subscriptions = 0;
};

}  // namespace velk::testing

#pragma once
// Doubles for driving the document: a scripted user interface, the administrator test,
// the server counts, a storage that builds a configuration in memory and a monitor thread
// that only records.
#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "model/c_doc.h"
#include "model/document_services.h"
#include "model/document_storage.h"
#include "model/document_ui.h"
#include "platform/session.h"

namespace velk::testing {

// Answers the dialogs as scripted (or all with acceptDialogs) and records what it showed.
class ScriptedUi final : public IDocumentUi {
  public:
    void ShowError(const std::string& text) override {
        errors.push_back(text);
        ShowMessage(text);
    }
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        if (onMessage) onMessage();
    }

    bool EditDeviceProperties(DeviceDialogValues& values,
                              const std::vector<std::string>& enabledPortNames) override {
        offeredPorts = enabledPortNames;
        shownDeviceNames.push_back(values.name);
        if (!deviceAnswers.empty()) {
            auto answer = deviceAnswers.front();
            deviceAnswers.pop_front();
            return answer(values);
        }
        return acceptDialogs;
    }
    bool EditGroupProperties(std::string& name, std::string& description) override {
        shownGroupNames.push_back(name);
        if (groupNames.empty()) return acceptDialogs;
        name = groupNames.front();
        groupNames.pop_front();
        description = "desc of " + name;
        return true;
    }
    bool EditTagProperties(OModbusTag& tag) override {
        shownTagNames.push_back(tag.name);
        if (tagSheet) return tagSheet(tag);
        return acceptDialogs;
    }
    CopyTagChoice AskCopyTag(const OModbusTag& pasted, const OModbusTag&,
                             std::string& newName) override {
        copyQuestions.push_back(pasted.name);
        if (copyChoices.empty()) return CopyTagChoice::Cancel;
        auto [choice, name] = copyChoices.front();
        copyChoices.pop_front();
        newName = name;
        return choice;
    }
    void EditPortProperties(const std::vector<OPort*>& ports, OPort* fixedPort) override {
        if (portEdit) portEdit(ports, fixedPort);
    }
    bool StartMonitorRefreshTimer() override {
        timerRunning = true;
        return true;
    }
    void StopMonitorRefreshTimer() override { timerRunning = false; }

    bool acceptDialogs = true;
    std::deque<std::function<bool(DeviceDialogValues&)>> deviceAnswers;
    std::deque<std::string> groupNames;
    std::function<bool(OModbusTag&)> tagSheet;
    std::deque<std::pair<CopyTagChoice, std::string>> copyChoices;
    std::function<void(const std::vector<OPort*>&, OPort*)> portEdit;

    std::vector<std::string> messages;
    std::vector<std::string> errors;  // the messages shown with the error icon
    std::function<void()> onMessage;  // called after each message is recorded
    std::vector<std::string> offeredPorts;
    std::vector<std::string> shownDeviceNames, shownGroupNames, shownTagNames, copyQuestions;
    bool timerRunning = false;
};

// The exchange opens no dialog: a scripted interface that cancels any it is shown.
inline ScriptedUi CancellingUi() {
    ScriptedUi ui;
    ui.acceptDialogs = false;
    return ui;
}

class FakeAdmin final : public IAdminCheck {
  public:
    bool IsAdministrator() const override { return admin; }
    bool admin = true;
};

class FakeCounts final : public IServerCounts {
  public:
    std::int32_t ComLockCount() const override { return comLocks; }
    std::int32_t ClientCount() const override { return clients; }
    std::int32_t comLocks = 0;
    std::int32_t clients = 0;
};

class FakeMonitor final : public IMonitorThread {
  public:
    bool Start(CDoc& document) override {
        ++starts;
        sawRunningFlag = document.monitorRunning.load();
        return startSucceeds;
    }
    void Join() override { ++joins; }
    bool startSucceeds = true;
    bool sawRunningFlag = false;
    int starts = 0;
    int joins = 0;
};

// The application object's client count, as the live monitor changes it.
class CountingClients final : public IClientCounter {
  public:
    bool AddClient() override { return ++count > 0; }
    bool RemoveClient() override { return --count > 0; }
    std::atomic<int> count{0};
};

class FakeLifecycle final : public IDeviceLifecycle {
  public:
    void StopDevice(ODevice& device) override { stopped.push_back(device.name); }
    std::vector<std::string> stopped;
};

// Load runs the given builder; Save records the path.
class FakeStorage final : public IDocumentStorage {
  public:
    bool Load(CDoc& document, const std::string& path, std::string& message) override {
        loadedPaths.push_back(path);
        if (!builder || !builder(document)) {
            message = "Unexpected file format.";
            return false;
        }
        return true;
    }
    bool Save(const CDoc&, const std::string& path, std::string& message) override {
        savedPaths.push_back(path);
        if (!saveSucceeds) message = "Access to " + path + " was denied.";
        return saveSucceeds;
    }
    std::function<bool(CDoc&)> builder;
    bool saveSucceeds = true;
    std::vector<std::string> loadedPaths, savedPaths;
};

class RecordingObserver final : public IDocumentObserver {
  public:
    void OnDocumentUpdate(int hint, OObject* item) override {
        hints.push_back(hint);
        items.push_back(item);
    }
    std::vector<int> hints;
    std::vector<OObject*> items;
};

}  // namespace velk::testing

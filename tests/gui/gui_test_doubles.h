#pragma once
// Doubles for the GUI tests: a host over an in-memory document whose rights and client
// count a test sets, and tag dialogs that answer from a script.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/recent_file_list.h"
#include "gui/gui_document_ui.h"
#include "gui/gui_host.h"
#include "gui/tag_sheet_dialogs.h"
#include "model/c_doc.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "tests/model/document_test_doubles.h"
#include "tests/support/memory_settings_store.h"

namespace velk::testing {

class ScriptedTagDialogs final : public gui::ITagSheetDialogs {
  public:
    bool EditTag(QWidget*, CDoc&, OModbusTag& tag, bool isNewTag) override {
        editedTags.push_back(tag.name);
        newTagFlags.push_back(isNewTag);
        return false;
    }
    void MultiplyTag(QWidget*, CDoc&, OModbusTag& tag) override {
        multipliedTags.push_back(tag.name);
    }
    // "Copying Tag" answers as the document tests' scripted interface does.
    CopyTagChoice AskCopyTag(QWidget*, const OModbusTag& pasted, const OModbusTag& existing,
                             std::string& newName) override {
        return answers.AskCopyTag(pasted, existing, newName);
    }
    ScriptedUi answers;  // copyChoices in, copyQuestions out
    std::vector<std::string> editedTags, multipliedTags;
    std::vector<bool> newTagFlags;  // EditTag's isNewTag, call by call
};

// A document with devices, groups and tags built in memory, behind the GUI's host.
class TestGuiHost final : public gui::IGuiHost {
  public:
    explicit TestGuiHost(gui::ITagSheetDialogs& tagDialogs) : ui(tagDialogs) {
        CDocServices services;
        services.ui = &ui;
        services.admin = &admin;
        services.counts = &counts;
        services.monitor = &monitor;
        services.storage = &storage;
        document = std::make_unique<CDoc>(services, ModelSettings{});
        document->OnNewDocument();
    }

    // A device (serial unless tcp) with the named tags, returned as the new selection.
    ODevice& AddDevice(const std::string& name, std::vector<std::string> tagNames,
                       bool tcp = false) {
        auto device = std::make_unique<ODevice>();
        document->AdoptDevice(*device);
        device->name = name;
        device->params.modbusTcp = tcp ? 1 : 0;
        ODevice* added = device.get();
        std::unique_ptr<OTagGroup> group = std::move(device);
        document->rootGroup.InsertSubgroupByName(group);
        added->parent = &document->rootGroup;
        for (const std::string& tagName : tagNames) AddTag(*added, tagName);
        document->selection = added;
        return *added;
    }

    OModbusTag& AddTag(OTagGroup& group, const std::string& name, std::uint16_t type = 11,
                       std::int32_t address = 0) {
        auto tag = std::make_unique<OModbusTag>();
        tag->name = name;
        tag->SetDataType(type);
        tag->address = address;
        OModbusTag* added = tag.get();
        group.InsertTagByName(tag);
        document->RegisterTag(group, added);
        return *added;
    }

    bool IsAdministrator() const override { return admin.admin; }
    std::int32_t ComLockCount() const override { return counts.comLocks; }
    std::int32_t ClientCount() const override { return counts.clients; }
    CDoc& Document() override { return *document; }
    ServerObjectCounts ServerCounts() override { return serverCounts; }
    std::vector<DeviceMonitorModel> DeviceMonitor() override { return {}; }
    void Exit() override { ++exits; }
    RecentFileList& RecentFiles() override { return recent; }
    void FileOpened() override { ++filesOpened; }
    ServerSettings Settings() const override { return settings; }
    bool ApplyOptions(OptionsDialogModel& model, IMessageBox& messages) override {
        SettingsAccess access(machineStore);
        ServerSettingsHolder holder(settings);
        if (!model.Ok(holder, access, admin, messages)) return false;
        settings = holder.Get();
        return true;
    }
    bool ApplySparkplug(SparkplugDialogModel& model, IMessageBox& messages) override {
        SettingsAccess access(machineStore);
        ServerSettingsHolder holder(settings);
        if (!model.Ok(holder, access, admin, messages)) return false;
        settings = holder.Get();
        return true;
    }
    bool ApplyOpcUa(UaDialogModel& model, IMessageBox& messages) override {
        SettingsAccess access(machineStore);
        ServerSettingsHolder holder(settings);
        if (!model.Ok(holder, access, admin, messages)) return false;
        settings = holder.Get();
        return true;
    }
    ISettingsStore& UserStore() override { return userStore; }
    ExchangeServices Exchange() override { return {}; }

    FakeAdmin admin;
    FakeCounts counts;
    FakeMonitor monitor;
    FakeStorage storage;
    gui::GuiDocumentUi ui;
    std::unique_ptr<CDoc> document;
    ServerObjectCounts serverCounts;
    RecentFileList recent;
    ServerSettings settings;
    MemorySettingsStore machineStore, userStore;
    int exits = 0;
    int filesOpened = 0;
};

}  // namespace velk::testing

#pragma once
// Doubles and builders for the exchange tests: files held in memory with switchable
// failures, a user interface that records its messages, and a document with helpers to
// put devices, groups and tags into it.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exchange/exchange_services.h"
#include "model/ae_event_space.h"
#include "model/c_doc.h"
#include "model/document_ui.h"
#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "model/o_binary_data.h"
#include "platform/document_file_access.h"
#include "platform/file_reader.h"
#include "tests/model/model_tree.h"

namespace velk::testing {

// Files held in memory; reader and writer reach the same map.
struct MemoryFileStore {
    std::map<std::string, std::string> files;
    FileError createError = FileError::kNone;
    FileError writeError = FileError::kNone;         // half the bytes are written, then this
    std::size_t readErrorAfter = std::string::npos;  // bytes delivered before a read error
};

class MemoryFileReader final : public IFileReader {
  public:
    explicit MemoryFileReader(MemoryFileStore& store) : store_(store) {}
    FileReadResult ReadAll(const std::string& path, std::string& bytes) override {
        auto it = store_.files.find(path);
        if (it == store_.files.end()) return FileReadResult::CannotOpen;
        bytes = it->second;
        if (store_.readErrorAfter != std::string::npos && bytes.size() > store_.readErrorAfter) {
            bytes.resize(store_.readErrorAfter);
            return FileReadResult::ReadError;
        }
        return FileReadResult::Ok;
    }

  private:
    MemoryFileStore& store_;
};

class MemoryFileWriter final : public IDocumentFileAccess {
  public:
    explicit MemoryFileWriter(MemoryFileStore& store) : store_(store) {}
    FileError ReadAll(const std::string& path, std::string& bytes) override {
        auto it = store_.files.find(path);
        if (it == store_.files.end()) return FileError::kNotFound;
        bytes = it->second;
        return FileError::kNone;
    }
    FileError WriteNew(const std::string& path, std::string_view bytes) override {
        if (store_.createError != FileError::kNone) return store_.createError;
        if (store_.files.count(path)) return FileError::kExists;
        if (store_.writeError != FileError::kNone) {
            store_.files[path] = std::string(bytes.substr(0, bytes.size() / 2));
            return store_.writeError;
        }
        store_.files[path] = std::string(bytes);
        return FileError::kNone;
    }
    FileError Replace(const std::string& from, const std::string& to) override {
        auto it = store_.files.find(from);
        if (it == store_.files.end()) return FileError::kNotFound;
        std::string bytes = std::move(it->second);
        store_.files.erase(it);
        store_.files[to] = std::move(bytes);
        return FileError::kNone;
    }
    void Remove(const std::string& path) override { store_.files.erase(path); }

  private:
    MemoryFileStore& store_;
};

class RecordingUi final : public IDocumentUi {
  public:
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        if (onMessage) onMessage();
    }
    void ShowError(const std::string& text) override {
        errors.push_back(text);
        ShowMessage(text);
    }
    bool EditDeviceProperties(DeviceDialogValues&, const std::vector<std::string>&) override {
        return false;
    }
    bool EditGroupProperties(std::string&, std::string&) override { return false; }
    bool EditTagProperties(OModbusTag&) override { return false; }
    CopyTagChoice AskCopyTag(const OModbusTag&, const OModbusTag&, std::string&) override {
        return CopyTagChoice::Cancel;
    }
    void EditPortProperties(const std::vector<OPort*>&, OPort*) override {}
    bool StartMonitorRefreshTimer() override { return true; }
    void StopMonitorRefreshTimer() override {}

    std::vector<std::string> messages;
    std::vector<std::string> errors;  // the messages shown with the error icon
    std::function<void()> onMessage;
};

// A document with the default ports, its user interface, memory files and an event space
// holding user conditions "Pump" (subconditions "Dry", "Wet") and "Valve" ("Stuck").
struct ExchangeFixture {
    ExchangeFixture() : document(DocServices(), ModelSettings{}) {
        space.AddUserConditions("[Pump]\nDry\nWet\n[Valve]\nStuck\n");
        document.AddDefaultPorts();
    }
    CDocServices DocServices() {
        CDocServices services;
        services.ui = &ui;
        services.eventSpace = &space;
        return services;
    }
    ExchangeServices Services() {
        ExchangeServices services;
        services.ui = &ui;
        services.reader = &reader;
        services.writer = &writer;
        services.eventSpace = &space;
        return services;
    }

    ODevice& AddDevice(const std::string& name) {
        ODevice& device = InsertDevice(document.rootGroup, name);
        device.importMark = 0;  // as after loading a file
        return device;
    }
    OTagGroup& AddGroup(OTagGroup& parent, const std::string& name) {
        return InsertGroup(parent, name);
    }
    // A tag with the model's defaults of its type, registered like a loaded one.
    OModbusTag& AddTag(OTagGroup& group, const std::string& name, std::uint16_t type,
                       std::int32_t kind, std::uint16_t address) {
        auto tag = std::make_unique<OModbusTag>();
        tag->name = name;
        tag->SetDataType(type);
        tag->locationKind = kind;
        tag->address = address;
        OModbusTag* added = tag.get();
        group.InsertTagByName(tag);
        document.RegisterTag(group, added);
        return *added;
    }

    AeEventSpace space;
    RecordingUi ui;
    MemoryFileStore store;
    MemoryFileReader reader{store};
    MemoryFileWriter writer{store};
    CDoc document;
};

}  // namespace velk::testing

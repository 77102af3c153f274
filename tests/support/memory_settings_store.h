#pragma once
// A settings store held in memory with the file store's rules (ASCII-case-insensitive names,
// parents created with their keys), a switch that makes every change fail, and a record of
// every change asked for, in order.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace velk::testing {

class MemorySettingsStore final : public ISettingsStore {
  public:
    enum class Change { CreateKey, DeleteKey, WriteValue, DeleteValue };
    struct Operation {
        Change change;
        std::string key;
        std::string name;
        RegValue value;
        bool succeeded;
    };

    bool KeyExists(std::string_view key) override;
    bool CreateKey(std::string_view key) override;
    bool DeleteKey(std::string_view key) override;
    std::optional<RegValue> ReadValue(std::string_view key, std::string_view name) override;
    bool WriteValue(std::string_view key, std::string_view name, const RegValue& value) override;
    bool DeleteValue(std::string_view key, std::string_view name) override;
    std::vector<std::string> SubKeys(std::string_view key) override;
    std::string Problem() const override;

    // Every key path in its stored spelling, sorted without case.
    std::vector<std::string> Keys() const;
    // Names of the key's values in the order they were first written.
    std::vector<std::string> ValueNames(std::string_view key) const override;
    // The value names of the successful WriteValue calls, in order.
    std::vector<std::string> WrittenNames() const;
    std::vector<Operation> Operations() const;
    void ClearOperations();

    // When false every change fails (and is recorded as failed); Problem() says so.
    void SetWritable(bool writable);

  private:
    struct Key {
        std::string path;  // stored spelling
        std::vector<std::pair<std::string, RegValue>> values;
    };
    bool Record(Change change, std::string_view key, std::string_view name, const RegValue& value,
                bool succeeded);

    mutable std::mutex mutex_;
    std::map<std::string, Key> keys_;  // by lower-case path
    std::vector<Operation> operations_;
    bool writable_ = true;
};

}  // namespace velk::testing

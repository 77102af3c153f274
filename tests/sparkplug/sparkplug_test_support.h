#pragma once
// A small plant for the Sparkplug tests: tags added to devices and groups as a loaded
// configuration holds them, the node's payloads read back with protobuf's own parser, and
// the store directory in memory.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/o_analog_data.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"
#include "platform/file_reader.h"
#include "sparkplug/sparkplug_b.pb.h"
#include "tests/model/model_tree.h"
#include "tests/support/memory_file_system.h"

namespace velk::testing {

inline OModbusTag& AddTag(OTagGroup& group, const std::string& name, std::uint16_t type,
                          std::uint16_t access = kAccessReadable) {
    auto tag = std::make_unique<OModbusTag>();
    tag->name = name;
    tag->SetDataType(type);
    tag->accessRights = access;
    tag->group = &group;
    tag->device = group.GetDevice();
    OModbusTag* added = tag.get();
    group.InsertTagByName(tag);
    return *added;
}

// A linear scaling from raw 0..10000 to the engineering range.
inline void ScaleLinear(OModbusTag& tag, double low, double high, const std::string& units) {
    auto* scaling = dynamic_cast<OAnalogData*>(tag.scaling.get());
    ASSERT_NE(scaling, nullptr);
    scaling->conversion = OAnalogData::kLinear;
    scaling->engineeringMinimum = low;
    scaling->engineeringMaximum = high;
    scaling->units = units;
}

// Reads the memory files, as the server reads the store directory.
class MemoryReader final : public IFileReader {
  public:
    explicit MemoryReader(MemoryFileSystem& files) : files_(files) {}
    FileReadResult ReadAll(const std::string& path, std::string& bytes) override {
        if (!files_.Exists(path)) return FileReadResult::CannotOpen;
        bytes = files_.Content(path);
        return FileReadResult::Ok;
    }

  private:
    MemoryFileSystem& files_;
};

inline sparkplug::pb::Payload Decode(const std::string& bytes) {
    sparkplug::pb::Payload payload;
    EXPECT_TRUE(payload.ParseFromString(bytes));
    return payload;
}

// The value of a property of a metric, by key; fails the test when it is missing.
inline const sparkplug::pb::Payload::PropertyValue* Property(
    const sparkplug::pb::Payload::Metric& metric, const std::string& key) {
    const auto& set = metric.properties();
    for (int i = 0; i < set.keys_size() && i < set.values_size(); ++i) {
        if (set.keys(i) == key) return &set.values(i);
    }
    return nullptr;
}

}  // namespace velk::testing

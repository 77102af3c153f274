#pragma once
// Building tags and devices for the scan engine tests.
#include <cstdint>
#include <memory>
#include <vector>

#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/tag_list.h"

namespace velk::testing {

// Owns the tags of a test and keeps a list in location order.
class TestTags {
  public:
    OModbusTag& Add(std::int32_t kind, std::uint16_t address, std::uint16_t dataType = VT_I2,
                    std::uint16_t size = 1,
                    std::uint16_t access = kAccessReadable | kAccessWritable) {
        auto tag = std::make_unique<OModbusTag>();
        tag->locationKind = kind;
        tag->address = address;
        tag->SetDataType(dataType);
        tag->size = size;
        tag->accessRights = access;
        tag->device = &device;
        owned_.push_back(std::move(tag));
        InsertSorted(owned_.back().get(), list);
        return *owned_.back();
    }
    OModbusTag& Bit(std::int32_t kind, std::uint16_t address) {
        return Add(kind, address, VT_BOOL, 1);
    }

    ODevice device;
    TagList list;

  private:
    std::vector<std::unique_ptr<OModbusTag>> owned_;
};

}  // namespace velk::testing

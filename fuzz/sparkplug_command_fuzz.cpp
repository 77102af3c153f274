// Fuzz target of what the Sparkplug node reads from outside: the host's NCMD and DCMD
// payloads and STATE messages, and the records of the store directory. The first byte picks the
// parser. A command is refused whole or gives only writes to writable metrics of the device, each
// in its metric's type; a record replays only as historical data of the device's metrics.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/o_analog_data.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "sparkplug/command_decoder.h"
#include "sparkplug/historical_record.h"
#include "sparkplug/host_state.h"
#include "sparkplug/metric_value.h"
#include "sparkplug/sparkplug_b.pb.h"

namespace {

using namespace velk;
using namespace velk::sparkplug;

void AddTag(OTagGroup& group, const char* name, std::uint16_t type, bool writable) {
    auto tag = std::make_unique<OModbusTag>();
    tag->name = name;
    tag->SetDataType(type);
    tag->accessRights = writable ? (kAccessReadable | kAccessWritable) : kAccessReadable;
    tag->group = &group;
    group.InsertTagByName(tag);
}

// One device with a metric of every type, some read only, one scaled.
struct Plant {
    Plant() {
        auto device = std::make_unique<ODevice>();
        device->name = "PLC1";
        device->parent = &root;
        ODevice& plc = *device;
        std::unique_ptr<OTagGroup> entry = std::move(device);
        root.InsertSubgroupByName(entry);
        AddTag(plc, "Run", VT_BOOL, true);
        AddTag(plc, "Count", VT_I2, false);
        AddTag(plc, "Speed", VT_UI2, true);
        AddTag(plc, "Total", VT_I4, true);
        AddTag(plc, "Big", VT_UI4, true);
        AddTag(plc, "Temp", VT_R4, true);
        AddTag(plc, "Energy", VT_R8, true);
        AddTag(plc, "Label", VT_BSTR, true);
        AddTag(plc, "Level", VT_I2, true);
        dynamic_cast<OAnalogData&>(*plc.FindOwnTag("Level")->scaling).conversion =
            OAnalogData::kLinear;
        layout = MetricLayout::Build(root);
    }
    OTagGroup root;
    MetricLayout layout;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const Plant plant;
    const DeviceMetrics& device = plant.layout.Devices().front();
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
        case 0: {
            NodeCommand command;
            const CommandCheck check = DecodeNodeCommand(input, command);
            if (!check.Accepted() && (command.rebirth || check.detail.empty())) std::abort();
            break;
        }
        case 1: {
            std::vector<TagWrite> writes;
            const CommandCheck check = DecodeDeviceCommand(device, input, writes);
            if (!check.Accepted()) {
                if (!writes.empty() || check.detail.empty()) std::abort();
                break;
            }
            if (writes.empty()) std::abort();
            for (const TagWrite& write : writes) {
                const MetricDef* first = device.metrics.data();
                if (write.metric < first || write.metric >= first + device.metrics.size()) {
                    std::abort();
                }
                if (!write.metric->writable ||
                    write.value.Type() != VarTypeOfMetric(write.metric->type)) {
                    std::abort();
                }
            }
            break;
        }
        case 3: {
            // A state is read only from a whole object: one more byte never makes it valid.
            if (ParseHostState(input) && ParseHostState(std::string(input) + "}")) std::abort();
            break;
        }
        default: {
            EdgeNodePayloads node(0);
            const auto replayed = ReplayHistoricalRecord(node, plant.layout, input, 0);
            if (!replayed) {
                if (node.NextSeq() != 0) std::abort();
                break;
            }
            pb::Payload payload;
            if (replayed->deviceId != device.deviceId ||
                !payload.ParseFromString(replayed->payload) || payload.metrics_size() == 0) {
                std::abort();
            }
            for (const auto& metric : payload.metrics()) {
                if (!metric.is_historical() || device.FindByAlias(metric.alias()) == nullptr) {
                    std::abort();
                }
            }
            break;
        }
    }
    return 0;
}

#pragma once
// Reads the configuration and tag lists of every schema from 1 up. Fields that an older
// schema leaves out keep the defaults of new objects, with the load rules of devices, tags
// and binary alarms applied. Anything the writer never produces (back-references, null
// entries, entries of another class, tags in the root group, 64-bit text lengths) fails.
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "model/object_archive.h"
#include "platform/clock.h"

namespace velk {

class CDoc;
class ODevice;
class ODeviceAlarm;
class ODeviceParams;
class OModbusTag;
class OPort;
class OTagGroup;

class ConfigFileReader {
  public:
    // Groups nest at most this deep below a device; deeper files are refused rather than
    // exhausting the stack.
    static constexpr int kMaxGroupDepth = 1000;

    // Reads from a reading archive; new tags get creationTime as their time stamp.
    explicit ConfigFileReader(ObjectArchive& archive, FileTime creationTime = 0)
        : ar_(archive), creationTime_(creationTime) {}

    // Fills an emptied document from the stream: ports, root group, devices, the document
    // tag list and the scan lists. An empty stream is an empty configuration. On failure
    // (false) the document is left empty; nothing read is kept.
    bool ReadDocument(CDoc& document);
    // One list of tags that belong to no group: the "Modbus" clipboard stream.
    bool ReadTagList(std::vector<std::unique_ptr<OModbusTag>>& tags);

    // Reads bytes of a configuration file or of a clipboard stream.
    static bool ReadDocumentBytes(std::string_view bytes, CDoc& document,
                                  FileTime creationTime = 0);
    static bool ReadTagListBytes(std::string_view bytes,
                                 std::vector<std::unique_ptr<OModbusTag>>& tags,
                                 FileTime creationTime = 0);

  private:
    bool ReadPort(OPort& port, std::uint16_t schema);
    bool ReadGroupRecord(OTagGroup& group, bool isRoot, int depth);
    std::unique_ptr<ODevice> ReadDevice();
    bool ReadParams(ODevice& device);
    bool ReadDeviceAlarm(ODeviceAlarm& alarm, std::uint16_t schema);
    bool ReadFieldSettings(ODeviceParams& params);
    // The list of key and value pairs that ends a record of the field-settings schema.
    bool ReadSettingsList(const std::function<void(std::uint16_t, std::int32_t)>& set);
    std::unique_ptr<OModbusTag> ReadTag();
    bool ReadScaling(OModbusTag& tag);
    bool ReadAlarm(OModbusTag& tag);
    bool ReadAlarmBase(OModbusTag& tag);

    ObjectArchive& ar_;
    FileTime creationTime_;
    std::vector<OPort*> ports_;  // the ports read so far, for binding devices by name
};

}  // namespace velk

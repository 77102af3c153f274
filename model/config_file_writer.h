#pragma once
// Writes the configuration and tag lists in the newest layout: schema 4 for the document,
// 10 for every other class, every optional field present, texts in the wide form. A stream
// with a tag that sets a byte order or a register bit writes "OModbusTag" at schema 13, one
// with an analog alarm that sets a deadband or an on-delay "OAnalogAlarm" at 13, a document
// with a device or a port that has a field setting (mask write among them) "ODeviceParams"
// or "OPort" at 13.
#include <cstdint>
#include <string>
#include <vector>

#include "model/o_object.h"
#include "model/object_archive.h"

namespace velk {

class CDoc;
class ODevice;
class ODeviceAlarm;
class ODeviceParams;
class OModbusTag;
class OPort;
class OTagGroup;

class ConfigFileWriter {
  public:
    // Writes into a writing archive, which holds the numbering of this stream.
    explicit ConfigFileWriter(ObjectArchive& archive) : ar_(archive) {}

    // The whole document. Clears each device's import mark as its record is written.
    void WriteDocument(const CDoc& document);
    // One list of tags, in the given order: the "Modbus" clipboard stream.
    void WriteTagList(const std::vector<const OModbusTag*>& tags);

    // The configuration file of a document, as bytes.
    static std::string DocumentBytes(const CDoc& document);
    static std::string TagListBytes(const std::vector<const OModbusTag*>& tags);

  private:
    void WritePort(const OPort& port);
    void WriteGroupRecord(const OTagGroup& group, bool isRoot);
    void WriteDevice(ODevice& device);
    void WriteParams(const ODevice& device);
    void WriteDeviceAlarm(const ODeviceAlarm& alarm);
    void WriteTag(const OModbusTag& tag);
    void WriteScaling(const OModbusTag& tag);
    void WriteAlarm(const OModbusTag& tag);

    // Chooses the tag and analog alarm schemas for the tags the stream will hold.
    void ChooseSchemas(const std::vector<const OModbusTag*>& tags);

    ObjectArchive& ar_;
    std::uint16_t tagSchema_ = kObjectSchema;
    std::uint16_t analogAlarmSchema_ = kObjectSchema;
    // The schema written for "ODeviceParams": the field-settings schema only when a device
    // of the document uses one, so that a document without them is stored as before.
    std::uint16_t paramsSchema_ = kObjectSchema;
    // The same for "OPort" and the RS-485 and echo settings of the ports.
    std::uint16_t portSchema_ = kObjectSchema;
};

}  // namespace velk

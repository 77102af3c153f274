#pragma once
// The serialisable base of every configuration class. The stored class name and the schema
// number are what the configuration file records for the class; the reader and writer of
// the file are external to the classes and use these queries.
#include <cstdint>

namespace velk {

// Schema numbers written for the classes of the configuration file.
inline constexpr std::uint16_t kDocumentSchema = 4;
inline constexpr std::uint16_t kObjectSchema = 10;
// The schema of the "OModbusTag", "OAnalogAlarm", "ODeviceParams" and "OPort" records that
// carry the field settings (a tag's byte order and register bit; an analog alarm's deadband
// and on-delay; a device's and a port's list of key and value pairs, device_field_settings.h).
// It is written only into files that use one of them, so other files stay as before.
// Schemas 11 and 12 keep the layout of 10: files with those numbers and no such fields exist.
inline constexpr std::uint16_t kFieldSettingsSchema = 13;

class OObject {
  public:
    OObject() = default;
    OObject(const OObject&) = default;
    OObject& operator=(const OObject&) = default;
    virtual ~OObject() = default;

    // The run-time class query: the class's stored name, e.g. "OModbusTag".
    virtual const char* GetRuntimeClass() const = 0;
    // The schema number the writer records for the class.
    virtual std::uint16_t GetSchema() const { return kObjectSchema; }
};

}  // namespace velk

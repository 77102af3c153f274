#pragma once
// The serial channels of the configured ports, made on first use: one line, one lock and one
// set of counters per port, shared by every device that uses the port.
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "modbus/serial_channel.h"
#include "platform/settings_store.h"

namespace velk {

class SerialChannelSet {
  public:
    // machineSettings may be null (no device path overrides).
    SerialChannelSet(ISerialPortFactory& lines, ISettingsStore* machineSettings, IClock& clock,
                     ConsoleLine console, std::function<bool()> acquisitionRunning);

    // The channel of a port, made with the port's device path on first use; null for no
    // port. The channel lives as long as this set.
    SerialChannel* ChannelOf(OPort* port);

    // The standard output of the process, line by line.
    static void WriteToStandardOutput(std::string_view line);

  private:
    ISerialPortFactory& lines_;
    ISettingsStore* machineSettings_;
    IClock& clock_;
    ConsoleLine console_;
    std::function<bool()> acquisitionRunning_;
    std::mutex lock_;
    std::map<const OPort*, std::unique_ptr<SerialChannel>> channels_;
};

}  // namespace velk

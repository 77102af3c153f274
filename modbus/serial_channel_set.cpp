#include "modbus/serial_channel_set.h"

#include <iostream>

#include "modbus/channel_settings.h"
#include "model/o_port.h"

namespace velk {

SerialChannelSet::SerialChannelSet(ISerialPortFactory& lines, ISettingsStore* machineSettings,
                                   IClock& clock, ConsoleLine console,
                                   std::function<bool()> acquisitionRunning)
    : lines_(lines),
      machineSettings_(machineSettings),
      clock_(clock),
      console_(std::move(console)),
      acquisitionRunning_(std::move(acquisitionRunning)) {}

SerialChannel* SerialChannelSet::ChannelOf(OPort* port) {
    if (port == nullptr) return nullptr;
    std::lock_guard lock(lock_);
    auto& channel = channels_[port];
    if (!channel) {
        channel = std::make_unique<SerialChannel>(*port, lines_.CreateSerialPort(),
                                                  SerialDevicePath(machineSettings_, port->name),
                                                  clock_, console_, acquisitionRunning_);
    }
    return channel.get();
}

void SerialChannelSet::WriteToStandardOutput(std::string_view line) {
    std::cout << line << std::endl;
}

}  // namespace velk

#pragma once
// A serial port definition of the configuration.
#include <cstdint>
#include <string>

#include "model/o_object.h"

namespace velk {

// The baud rates offered by the port dialog, by list position.
inline constexpr std::uint32_t kPortBaudRates[] = {300,  600,   1200,  2400,  4800,
                                                   9600, 19200, 38400, 57600, 115200};

class OPort final : public OObject {
  public:
    OPort() = default;
    // A port "COM<number>" with the default settings.
    explicit OPort(int number);

    const char* GetRuntimeClass() const override { return "OPort"; }

    // What the "Port Properties" dialog writes into the port it shows: the baud rate by list
    // position, data bits 7 or 8, stop bits 0 or 2, parity and flow control by position.
    // Marks the port enabled and its settings changed. False (port unchanged) for values
    // outside those lists.
    bool ApplyDialogValues(int baudIndex, std::uint16_t dataBits, std::uint16_t stopBits,
                           std::uint16_t parity, std::uint16_t flowControl);
    // The RS-485 part of the dialog: direction control, the RTS levels while and after
    // sending, the delays (0 to 1000 ms) and echo suppression. Marks the settings changed;
    // false (port unchanged) for delays outside that range.
    bool ApplyRs485Values(bool rs485, bool rtsOnSend, bool rtsAfterSend, int delayBeforeSendMs,
                          int delayAfterSendMs, bool echo);

    std::string name;
    std::int32_t enabled = 1;
    std::uint32_t baudRate = 57600;
    std::uint16_t dataBits = 8;
    std::uint16_t stopBits = 0;     // 0 one stop bit, 2 two
    std::uint16_t parity = 2;       // 0 none, 1 odd, 2 even
    std::uint16_t flowControl = 0;  // 0 none, 1 RTS/CTS, 2 XON/XOFF
    bool settingsChanged = true;    // not stored

    // RS-485 and echo settings (device_field_settings.h): stored from schema 13 on, and only
    // those that differ from these defaults.
    std::int32_t rs485 = 0;                 // 1: the kernel's RS-485 mode drives the direction
    std::int32_t rs485RtsOnSend = 1;        // RTS level while sending: 1 high, 0 low
    std::int32_t rs485RtsAfterSend = 0;     // RTS level after sending
    std::int32_t rs485DelayBeforeSend = 0;  // ms from RTS to the first bit
    std::int32_t rs485DelayAfterSend = 0;   // ms from the last bit to RTS
    std::int32_t echoSuppression = 0;       // 1: the adapter echoes what it sends; dropped
};

}  // namespace velk

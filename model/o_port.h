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

    std::string name;
    std::int32_t enabled = 1;
    std::uint32_t baudRate = 57600;
    std::uint16_t dataBits = 8;
    std::uint16_t stopBits = 0;     // 0 one stop bit, 2 two
    std::uint16_t parity = 2;       // 0 none, 1 odd, 2 even
    std::uint16_t flowControl = 0;  // 0 none, 1 RTS/CTS, 2 XON/XOFF
    bool settingsChanged = true;    // not stored
};

}  // namespace velk

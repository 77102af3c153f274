#pragma once
// A serial line opened by device path: line settings, reads bounded by a total time-out,
// writes, purge and close. The serial channel reaches the line only through this interface.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace velk {

// The device path of a serial port name as the configuration gives it: "COMn" (n 1..256,
// ASCII case ignored) is /dev/ttyS<n-1>, a name starting with '/' is used as it stands, and
// any other name is taken as a path below /dev ("ttyUSB0" is /dev/ttyUSB0).
std::string SerialPortDevicePath(std::string_view portName);

// Line settings in the configuration's codes.
// The kernel's RS-485 mode: RTS drives the transceiver's direction around each send.
struct Rs485Settings {
    bool enabled = false;
    bool rtsOnSend = true;      // RTS high while sending
    bool rtsAfterSend = false;  // RTS high after sending
    std::uint32_t delayBeforeSendMs = 0;
    std::uint32_t delayAfterSendMs = 0;
    bool operator==(const Rs485Settings&) const = default;
};

struct SerialLineSettings {
    std::uint32_t baudRate = 9600;
    std::uint16_t dataBits = 8;     // 7 or 8
    std::uint16_t stopBits = 0;     // 0 one stop bit, 2 two
    std::uint16_t parity = 0;       // 0 none, 1 odd, 2 even
    std::uint16_t flowControl = 0;  // 0 none, 1 RTS/CTS, 2 XON/XOFF
    Rs485Settings rs485;
};

class ISerialPort {
  public:
    virtual ~ISerialPort() = default;

    // Opens the device for reading and writing, exclusively; false with the error number
    // (errno) when it cannot be opened.
    virtual bool Open(const std::string& devicePath, int& errorNumber) = 0;
    virtual bool IsOpen() const = 0;
    // Applies the line settings in binary (raw) mode; false when the line refuses them.
    virtual bool Configure(const SerialLineSettings& settings) = 0;
    // A read of n bytes returns once n bytes arrived or after readConstantMs + n *
    // readPerByteMs; a write gives up after writeConstantMs. False when not open.
    virtual bool SetTimeouts(std::uint32_t readConstantMs, std::uint32_t readPerByteMs,
                             std::uint32_t writeConstantMs) = 0;
    // Bytes written, or -1 with the error number.
    virtual int Write(std::span<const std::uint8_t> bytes, int& errorNumber) = 0;
    // Reads up to buffer.size() bytes within the read time-out: the count (0 when none came),
    // or -1 with the error number.
    virtual int Read(std::span<std::uint8_t> buffer, int& errorNumber) = 0;
    // Clears a pending line error so that the next read and write can go on.
    virtual void ClearErrors() = 0;
    // Drops what was received but not read and what was written but not sent.
    virtual void Purge() = 0;
    virtual void Close() = 0;
};

// Makes closed serial ports; one per configured port.
class ISerialPortFactory {
  public:
    virtual ~ISerialPortFactory() = default;
    virtual std::unique_ptr<ISerialPort> CreateSerialPort() = 0;
};

}  // namespace velk

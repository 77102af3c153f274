#pragma once
// A serial line over termios: raw mode, settings from the configuration's codes, reads
// bounded by a total time-out measured on the monotonic clock.
#include <linux/serial.h>

#include "platform/serial_port.h"

namespace velk {

// The kernel's RS-485 mode (TIOCSRS485) for the settings: enabled, RTS on and after send, the
// delays in ms; all zero when not enabled.
serial_rs485 KernelRs485(const Rs485Settings& settings);

class TermiosSerialPort final : public ISerialPort {
  public:
    TermiosSerialPort() = default;
    ~TermiosSerialPort() override;
    TermiosSerialPort(const TermiosSerialPort&) = delete;
    TermiosSerialPort& operator=(const TermiosSerialPort&) = delete;

    bool Open(const std::string& devicePath, int& errorNumber) override;
    bool IsOpen() const override { return fd_ >= 0; }
    bool Configure(const SerialLineSettings& settings) override;
    bool SetTimeouts(std::uint32_t readConstantMs, std::uint32_t readPerByteMs,
                     std::uint32_t writeConstantMs) override;
    int Write(std::span<const std::uint8_t> bytes, int& errorNumber) override;
    int Read(std::span<std::uint8_t> buffer, int& errorNumber) override;
    void ClearErrors() override;
    void Purge() override;
    void Close() override;

  private:
    // Puts the line into the kernel's RS-485 mode; false when the driver refuses it.
    bool SetRs485(serial_rs485& mode);

    int fd_ = -1;
    std::uint32_t readConstantMs_ = 0;
    std::uint32_t readPerByteMs_ = 0;
    std::uint32_t writeConstantMs_ = 0;
};

class TermiosSerialPortFactory final : public ISerialPortFactory {
  public:
    std::unique_ptr<ISerialPort> CreateSerialPort() override;
};

}  // namespace velk

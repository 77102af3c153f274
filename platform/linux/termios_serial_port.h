#pragma once
// A serial line over termios: raw mode, settings from the configuration's codes, reads
// bounded by a total time-out measured on the monotonic clock.
#include "platform/serial_port.h"

namespace velk {

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

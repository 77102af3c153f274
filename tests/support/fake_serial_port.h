#pragma once
// A serial line for tests: each write is answered by the next scripted reaction (bytes that
// then wait to be read, or nothing), or by a responder function; faults can be injected.
// Records what was written, the read sizes asked for, purges, settings and time-outs.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace velk::testing {

using Bytes = std::vector<std::uint8_t>;

class FakeSerialPort final : public ISerialPort {
  public:
    bool Open(const std::string& devicePath, int& errorNumber) override;
    bool IsOpen() const override;
    bool Configure(const SerialLineSettings& settings) override;
    bool SetTimeouts(std::uint32_t readConstantMs, std::uint32_t readPerByteMs,
                     std::uint32_t writeConstantMs) override;
    int Write(std::span<const std::uint8_t> bytes, int& errorNumber) override;
    int Read(std::span<std::uint8_t> buffer, int& errorNumber) override;
    void ClearErrors() override;
    void Purge() override;
    void Close() override;

    // The next write is answered with these bytes (possibly short or long), or with nothing.
    void AnswerNextWith(Bytes answer);
    void AnswerNextWithSilence();
    // Writes beyond the scripted reactions are answered by the responder (or not at all).
    void SetResponder(std::function<Bytes(const Bytes& request)> responder);
    // Bytes that wait on the line before anything is written (a late answer).
    void Feed(const Bytes& bytes);
    void FailOpen(int errorNumber) { openError_ = errorNumber; }
    void FailNextWrite(int errorNumber) { writeError_ = errorNumber; }
    void ShortNextWrite() { shortWrite_ = true; }
    void FailNextRead(int errorNumber) { readError_ = errorNumber; }
    void RefuseConfigure(bool refuse) { refuseConfigure_ = refuse; }

    std::vector<Bytes> Writes() const;
    std::vector<std::size_t> ReadSizes() const;
    std::string OpenedPath() const;
    int Purges() const;
    int ConfigureCount() const;
    std::optional<SerialLineSettings> LastSettings() const;
    std::uint32_t ReadConstantMs() const;
    std::uint32_t ReadPerByteMs() const;
    std::size_t Waiting() const;

  private:
    struct Reaction {
        bool silent = false;
        Bytes bytes;
    };
    mutable std::mutex lock_;
    bool open_ = false;
    std::string path_;
    std::deque<Reaction> reactions_;
    std::function<Bytes(const Bytes&)> responder_;
    std::deque<std::uint8_t> input_;
    int openError_ = 0;
    int writeError_ = 0;
    bool shortWrite_ = false;
    int readError_ = 0;
    bool refuseConfigure_ = false;
    std::vector<Bytes> writes_;
    std::vector<std::size_t> readSizes_;
    int purges_ = 0;
    int configures_ = 0;
    std::optional<SerialLineSettings> settings_;
    std::uint32_t readConstant_ = 0;
    std::uint32_t readPerByte_ = 0;
};

// Hands out fake ports and keeps a pointer to each for the test.
class FakeSerialPortFactory final : public ISerialPortFactory {
  public:
    std::unique_ptr<ISerialPort> CreateSerialPort() override;
    // The ports made so far, in order; they live as long as their owner.
    FakeSerialPort* Port(std::size_t index) const;
    std::size_t Count() const { return made_.size(); }
    // Called on each new port before it is handed out.
    std::function<void(FakeSerialPort&)> prepare;

  private:
    std::vector<FakeSerialPort*> made_;
};

}  // namespace velk::testing

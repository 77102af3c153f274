#include "tests/support/fake_serial_port.h"

#include <cerrno>

namespace velk::testing {

bool FakeSerialPort::Open(const std::string& devicePath, int& errorNumber) {
    std::lock_guard lock(lock_);
    path_ = devicePath;
    if (openError_ != 0) {
        errorNumber = openError_;
        return false;
    }
    open_ = true;
    return true;
}

bool FakeSerialPort::IsOpen() const {
    std::lock_guard lock(lock_);
    return open_;
}

bool FakeSerialPort::Configure(const SerialLineSettings& settings) {
    std::lock_guard lock(lock_);
    if (!open_ || refuseConfigure_) return false;
    ++configures_;
    settings_ = settings;
    return true;
}

bool FakeSerialPort::SetTimeouts(std::uint32_t readConstantMs, std::uint32_t readPerByteMs,
                                 std::uint32_t) {
    std::lock_guard lock(lock_);
    if (!open_) return false;
    readConstant_ = readConstantMs;
    readPerByte_ = readPerByteMs;
    return true;
}

int FakeSerialPort::Write(std::span<const std::uint8_t> bytes, int& errorNumber) {
    std::lock_guard lock(lock_);
    if (!open_) {
        errorNumber = EBADF;
        return -1;
    }
    if (writeError_ != 0) {
        errorNumber = writeError_;
        writeError_ = 0;
        return -1;
    }
    Bytes request(bytes.begin(), bytes.end());
    writes_.push_back(request);
    if (shortWrite_) {
        shortWrite_ = false;
        return static_cast<int>(bytes.size()) - 1;
    }
    if (!reactions_.empty()) {
        Reaction next = reactions_.front();
        reactions_.pop_front();
        if (!next.silent) input_.insert(input_.end(), next.bytes.begin(), next.bytes.end());
    } else if (responder_) {
        Bytes answer = responder_(request);
        input_.insert(input_.end(), answer.begin(), answer.end());
    }
    return static_cast<int>(bytes.size());
}

int FakeSerialPort::Read(std::span<std::uint8_t> buffer, int& errorNumber) {
    std::lock_guard lock(lock_);
    readSizes_.push_back(buffer.size());
    if (!open_) {
        errorNumber = EBADF;
        return -1;
    }
    if (readError_ != 0) {
        errorNumber = readError_;
        readError_ = 0;
        return -1;
    }
    std::size_t n = 0;
    while (n < buffer.size() && !input_.empty()) {
        buffer[n++] = input_.front();
        input_.pop_front();
    }
    return static_cast<int>(n);
}

void FakeSerialPort::ClearErrors() {}

void FakeSerialPort::Purge() {
    std::lock_guard lock(lock_);
    ++purges_;
}

void FakeSerialPort::Close() {
    std::lock_guard lock(lock_);
    open_ = false;
}

void FakeSerialPort::AnswerNextWith(Bytes answer) {
    std::lock_guard lock(lock_);
    reactions_.push_back({false, std::move(answer)});
}

void FakeSerialPort::AnswerNextWithSilence() {
    std::lock_guard lock(lock_);
    reactions_.push_back({true, {}});
}

void FakeSerialPort::SetResponder(std::function<Bytes(const Bytes&)> responder) {
    std::lock_guard lock(lock_);
    responder_ = std::move(responder);
}

void FakeSerialPort::Feed(const Bytes& bytes) {
    std::lock_guard lock(lock_);
    input_.insert(input_.end(), bytes.begin(), bytes.end());
}

std::vector<Bytes> FakeSerialPort::Writes() const {
    std::lock_guard lock(lock_);
    return writes_;
}

std::vector<std::size_t> FakeSerialPort::ReadSizes() const {
    std::lock_guard lock(lock_);
    return readSizes_;
}

std::string FakeSerialPort::OpenedPath() const {
    std::lock_guard lock(lock_);
    return path_;
}

int FakeSerialPort::Purges() const {
    std::lock_guard lock(lock_);
    return purges_;
}

int FakeSerialPort::ConfigureCount() const {
    std::lock_guard lock(lock_);
    return configures_;
}

std::optional<SerialLineSettings> FakeSerialPort::LastSettings() const {
    std::lock_guard lock(lock_);
    return settings_;
}

std::uint32_t FakeSerialPort::ReadConstantMs() const {
    std::lock_guard lock(lock_);
    return readConstant_;
}

std::uint32_t FakeSerialPort::ReadPerByteMs() const {
    std::lock_guard lock(lock_);
    return readPerByte_;
}

std::size_t FakeSerialPort::Waiting() const {
    std::lock_guard lock(lock_);
    return input_.size();
}

std::unique_ptr<ISerialPort> FakeSerialPortFactory::CreateSerialPort() {
    auto port = std::make_unique<FakeSerialPort>();
    if (prepare) prepare(*port);
    made_.push_back(port.get());
    return port;
}

FakeSerialPort* FakeSerialPortFactory::Port(std::size_t index) const {
    return index < made_.size() ? made_[index] : nullptr;
}

}  // namespace velk::testing

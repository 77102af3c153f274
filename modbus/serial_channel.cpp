#include "modbus/serial_channel.h"

#include <algorithm>
#include <span>

#include "core/trace_file.h"
#include "modbus/answer_match.h"
#include "model/o_port.h"

namespace velk {

SerialChannel::SerialChannel(OPort& port, std::unique_ptr<ISerialPort> line, std::string devicePath,
                             IClock& clock, ConsoleLine console,
                             std::function<bool()> acquisitionRunning)
    : port_(port),
      line_(std::move(line)),
      devicePath_(std::move(devicePath)),
      clock_(clock),
      console_(std::move(console)),
      acquisitionRunning_(std::move(acquisitionRunning)) {}

bool SerialChannel::PurgeNeeded() const {
    std::lock_guard lock(portLock_);
    return purgeNeeded_;
}

int SerialChannel::Configure(std::uint32_t answerTimeoutMs) {
    std::lock_guard lock(portLock_);
    if (!line_->IsOpen()) {
        TraceResult(port_.name + " serial communication port open", 0, true);
        int error = 0;
        if (!line_->Open(devicePath_, error)) {
            if (console_) console_("Error opening " + port_.name + ": " + std::to_string(error));
            return 0;
        }
        configureNeeded_ = true;
    }
    // An edit of the port's settings in the dialog asks for them to be applied again.
    if (port_.settingsChanged) {
        configureNeeded_ = true;
        port_.settingsChanged = false;
    }
    if (configureNeeded_) {
        SerialLineSettings settings;
        settings.baudRate = port_.baudRate;
        settings.dataBits = port_.dataBits;
        settings.stopBits = port_.stopBits;
        settings.parity = port_.parity;
        settings.flowControl = port_.flowControl;
        settings.rs485.enabled = port_.rs485 != 0;
        settings.rs485.rtsOnSend = port_.rs485RtsOnSend != 0;
        settings.rs485.rtsAfterSend = port_.rs485RtsAfterSend != 0;
        settings.rs485.delayBeforeSendMs =
            static_cast<std::uint32_t>(std::max(port_.rs485DelayBeforeSend, 0));
        settings.rs485.delayAfterSendMs =
            static_cast<std::uint32_t>(std::max(port_.rs485DelayAfterSend, 0));
        if (!line_->Configure(settings)) return 0;
        configureNeeded_ = false;
    }
    return line_->SetTimeouts(answerTimeoutMs, 1, answerTimeoutMs) ? 1 : 0;
}

std::uint32_t SerialChannel::CharacterPauseMs() const {
    return port_.baudRate == 0 ? 0 : 48000 / port_.baudRate;
}

void SerialChannel::PurgeInput() {
    line_->ClearErrors();
    line_->Purge();
    // Bytes still on their way (a late answer) come in within the read time-out. A line
    // that never falls silent must not hold the port for ever.
    constexpr int kMostPurgedBytes = 65536;
    std::uint8_t byte = 0;
    int error = 0;
    for (int n = 0; n < kMostPurgedBytes && line_->Read(std::span(&byte, 1), error) == 1; ++n) {
    }
}

bool SerialChannel::DropEcho(std::span<const std::uint8_t> frame) {
    std::array<std::uint8_t, OMessage::kBufferSize> echo{};
    const std::size_t length = std::min(frame.size(), echo.size());
    std::size_t have = 0;
    int error = 0;
    // The echo comes within the read time-out like an answer, in as many pieces as the line gives.
    while (have < length) {
        const int got = line_->Read(std::span(echo.data() + have, length - have), error);
        if (got <= 0) return false;
        have += static_cast<std::size_t>(got);
    }
    return std::equal(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(length),
                      echo.begin());
}

SerialChannel::Attempt SerialChannel::TryOnce(ChannelCounters& deviceCounters, OMessage& message,
                                              std::uint32_t answerTimeoutMs) {
    int error = 0;
    auto frame = message.Frame();
    message.MarkOnWire();
    int written = line_->Write(frame, error);
    if (written < 0) {
        counters_.AddCommError();
        deviceCounters.AddCommError();
        line_->ClearErrors();
        purgeNeeded_ = true;
        return Attempt::kWriteFailed;
    }
    if (static_cast<std::size_t>(written) < frame.size()) {
        line_->ClearErrors();
        purgeNeeded_ = true;
        return Attempt::kWriteFailed;
    }
    counters_.AddSent();
    deviceCounters.AddSent();
    // An adapter that hears itself gives back the request first: taken off the line, and
    // anything else in its place fails the attempt.
    if (port_.echoSuppression != 0 && !DropEcho(frame)) {
        // What followed it cannot be trusted either; the retry starts on a clean line.
        PurgeInput();
        counters_.AddCommError();
        deviceCounters.AddCommError();
        return Attempt::kFailed;
    }

    const std::uint16_t answerLength = message.GetAnswerLength();
    if (answerLength == 0) {
        clock_.Sleep(answerTimeoutMs);
        return Attempt::kBroadcast;
    }
    int got = line_->Read(std::span(receiveBuffer_.data(), answerLength), error);
    const auto received = std::span(receiveBuffer_.data(), answerLength);
    if (got == answerLength && !AnswersRequest(message, received)) {
        // Another slave's frame, or the answer to another request: a failed attempt, as an
        // answer of another length is.
        purgeNeeded_ = true;
        counters_.AddCommError();
        deviceCounters.AddCommError();
        return Attempt::kFailed;
    }
    if (got == answerLength) {
        counters_.AddReceived();
        deviceCounters.AddReceived();
        message.StoreAnswer(received, clock_.NowUtc());
        return Attempt::kAnswered;
    }
    purgeNeeded_ = true;
    if (got == 0) {
        counters_.AddTimeout();
        deviceCounters.AddTimeout();
    } else if (got > 0) {
        counters_.AddCommError();
        deviceCounters.AddCommError();
    } else {
        if (console_) console_("Error reading from port: " + std::to_string(error));
        counters_.AddCommError();
        deviceCounters.AddCommError();
        line_->ClearErrors();
    }
    return Attempt::kFailed;
}

OMessage& SerialChannel::Transact(ChannelCounters& deviceCounters, OMessage& message,
                                  std::uint32_t answerTimeoutMs) {
    if (!acquisitionRunning_() || message.IsTcp()) {
        message.Reset();
        return message;
    }
    std::lock_guard lock(portLock_);
    Configure(answerTimeoutMs);
    const std::uint32_t pause = CharacterPauseMs();
    if (purgeNeeded_) {
        PurgeInput();
        purgeNeeded_ = false;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        switch (TryOnce(deviceCounters, message, answerTimeoutMs)) {
            case Attempt::kBroadcast:
                return message;
            case Attempt::kAnswered:
                // A frame that fails its check may be the piece of a late answer, whose rest
                // waits on the line: the next exchange starts clean.
                if (!message.IsValid()) purgeNeeded_ = true;
                clock_.Sleep(std::max<std::uint32_t>(pause, 10));
                return message;
            case Attempt::kWriteFailed:
                clock_.Sleep(std::max<std::uint32_t>(pause, 20));
                message.Reset();
                return message;
            case Attempt::kFailed:
                if (attempt == 0) {
                    clock_.Sleep(std::max<std::uint32_t>(pause, 20));
                    purgeNeeded_ = false;  // the retry reads without a purge
                }
                break;
        }
    }
    message.Reset();
    clock_.Sleep(std::max<std::uint32_t>(pause, 10));
    return message;
}

}  // namespace velk

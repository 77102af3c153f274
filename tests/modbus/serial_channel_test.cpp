// The serial channel over a scripted line: counters per port and per device channel, the
// retry, the purge after a failure, the pauses, broadcasts, the standard-output lines, the
// line settings, and the device-level exchange with its diagnostic probe.
#include "modbus/serial_channel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/trace_file.h"
#include "modbus/channel_settings.h"
#include "modbus/crc16.h"
#include "modbus/device_channels.h"
#include "modbus/hex_pair.h"
#include "modbus/lrc.h"
#include "modbus/modbus_requests.h"
#include "modbus/serial_channel_set.h"
#include "model/o_device.h"
#include "model/o_port.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_serial_port.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_exchange_observer.h"

namespace velk {
namespace {

using testing::Bytes;
using testing::FakeClock;
using testing::FakeSerialPort;
using testing::FakeSerialPortFactory;
using testing::RecordingExchangeObserver;

Bytes WithCrc(Bytes body) {
    const std::uint16_t crc = Crc16(body);
    body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    return body;
}

// ':', the bytes and their LRC as hexadecimal pairs, CR LF.
Bytes AsciiFrame(Bytes body) {
    body.push_back(Lrc(body));
    Bytes frame{':'};
    for (std::uint8_t byte : body) {
        frame.push_back(static_cast<std::uint8_t>(HexDigit(byte >> 4)));
        frame.push_back(static_cast<std::uint8_t>(HexDigit(byte & 0x0F)));
    }
    frame.push_back('\r');
    frame.push_back('\n');
    return frame;
}

// Answer of slave 1 to a read of two holding registers: 0x1234 0x5678.
const Bytes kTwoRegisters = WithCrc({0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78});

std::unique_ptr<OMessage> ReadTwoRegisters() {
    return BuildReadRequest(MessageFraming::kRtu, 1, ReadArea::kHoldingRegister, 0, 2);
}

// One port on a scripted line, as the serial channel set would make it.
class SerialChannelTest : public ::testing::Test {
  protected:
    SerialChannelTest() : port_(3) {
        port_.baudRate = 9600;
        auto line = std::make_unique<FakeSerialPort>();
        line_ = line.get();
        channel_ = std::make_unique<SerialChannel>(
            port_, std::move(line), "/dev/ttyS2", clock_,
            [this](std::string_view text) { console_.emplace_back(text); },
            [this] { return running_; });
    }

    OMessage& Exchange(OMessage& message, std::uint32_t timeout = 100) {
        return channel_->Transact(device_, message, timeout);
    }

    FakeClock clock_;
    OPort port_;
    FakeSerialPort* line_ = nullptr;
    std::unique_ptr<SerialChannel> channel_;
    ChannelCounters device_;
    std::vector<std::string> console_;
    bool running_ = true;
};

TEST_F(SerialChannelTest, GoodAnswerIsStoredCountedAndFollowedByTheShortPause) {
    line_->AnswerNextWith(kTwoRegisters);
    auto request = ReadTwoRegisters();
    const Bytes sent(request->Frame().begin(), request->Frame().end());
    const FileTime answeredAt = clock_.NowUtc();  // the pause comes after the answer

    OMessage& result = Exchange(*request);

    EXPECT_EQ(&result, request.get());
    ASSERT_TRUE(result.IsValid());
    EXPECT_EQ(result.GetWord(1), 0x5678);
    EXPECT_EQ(result.AnswerTime(), answeredAt);
    EXPECT_EQ(line_->Writes(), std::vector<Bytes>{sent});
    EXPECT_EQ(line_->ReadSizes(), std::vector<std::size_t>{9});
    EXPECT_EQ(channel_->Counts(), (ChannelCounts{1, 1, 0, 0}));
    EXPECT_EQ(device_.Counts(), (ChannelCounts{1, 1, 0, 0}));
    EXPECT_EQ(clock_.SleptMs(), 10u);
    EXPECT_EQ(line_->OpenedPath(), "/dev/ttyS2");
}

TEST_F(SerialChannelTest, PausesFollowTheCharacterTimeAtLowBaudRates) {
    port_.baudRate = 300;  // 48000 / 300 = 160 ms
    line_->AnswerNextWith(kTwoRegisters);
    auto good = ReadTwoRegisters();
    Exchange(*good);
    EXPECT_EQ(clock_.SleptMs(), 160u);

    port_.baudRate = 1200;  // 40 ms, both after a failed attempt and at the end
    port_.settingsChanged = true;
    line_->AnswerNextWithSilence();
    line_->AnswerNextWithSilence();
    auto lost = ReadTwoRegisters();
    Exchange(*lost);
    EXPECT_EQ(clock_.SleptMs(), 160u + 40u + 40u);
}

TEST_F(SerialChannelTest, TimeOutIsRetriedOnceWithoutPurge) {
    line_->AnswerNextWithSilence();
    line_->AnswerNextWith(kTwoRegisters);
    auto request = ReadTwoRegisters();

    Exchange(*request);

    EXPECT_TRUE(request->IsValid());
    EXPECT_EQ(line_->Writes().size(), 2u);
    EXPECT_EQ(line_->Writes()[0], line_->Writes()[1]);  // the same request again
    EXPECT_EQ(line_->ReadSizes(), (std::vector<std::size_t>{9, 9}));
    EXPECT_EQ(line_->Purges(), 0);
    EXPECT_EQ(channel_->Counts(), (ChannelCounts{2, 1, 1, 0}));
    EXPECT_EQ(device_.Counts(), (ChannelCounts{2, 1, 1, 0}));
    EXPECT_EQ(clock_.SleptMs(), 20u + 10u);
}

TEST_F(SerialChannelTest, ShortAnswerCountsACommunicationErrorAndTheRetryReadsWithoutPurge) {
    Bytes shortAnswer(kTwoRegisters.begin(), kTwoRegisters.end() - 1);
    line_->AnswerNextWith(shortAnswer);
    line_->AnswerNextWith(kTwoRegisters);
    auto request = ReadTwoRegisters();

    Exchange(*request);

    EXPECT_TRUE(request->IsValid());
    EXPECT_EQ(line_->ReadSizes(), (std::vector<std::size_t>{9, 9}));
    EXPECT_EQ(channel_->Counts(), (ChannelCounts{2, 1, 0, 1}));
    EXPECT_EQ(clock_.SleptMs(), 30u);
}

TEST_F(SerialChannelTest, TwoFailedAttemptsResetTheMessageAndTheNextExchangePurgesFirst) {
    line_->AnswerNextWithSilence();
    line_->AnswerNextWithSilence();
    auto lost = ReadTwoRegisters();
    Exchange(*lost);
    EXPECT_FALSE(lost->IsValid());
    EXPECT_EQ(lost->Length(), 0);
    EXPECT_EQ(channel_->Counts(), (ChannelCounts{2, 0, 2, 0}));
    EXPECT_TRUE(channel_->PurgeNeeded());

    // The late answer arrives before the next request: it is read away byte by byte.
    line_->Feed(WithCrc({0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02}));
    line_->AnswerNextWith(kTwoRegisters);
    auto next = ReadTwoRegisters();
    Exchange(*next);

    ASSERT_TRUE(next->IsValid());
    EXPECT_EQ(next->GetWord(0), 0x1234);
    EXPECT_EQ(line_->Purges(), 1);
    auto sizes = line_->ReadSizes();
    ASSERT_EQ(sizes.size(), 2u + 10u + 1u);  // 9 late bytes, the empty read, the answer
    EXPECT_EQ(std::count(sizes.begin() + 2, sizes.end() - 1, 1u), 10);
    EXPECT_FALSE(channel_->PurgeNeeded());
}

TEST_F(SerialChannelTest, AnswerToARetryLeavesNoPurgeForTheNextFrame) {
    line_->AnswerNextWithSilence();
    line_->AnswerNextWith(kTwoRegisters);
    auto request = ReadTwoRegisters();
    Exchange(*request);
    EXPECT_FALSE(channel_->PurgeNeeded());
}

// Answers of the right length that answer something else: another slave, another function
// code, a byte count that says less than the frame carries, in RTU and in ASCII framing. Each
// fails the attempt as an answer of another length does (a communication error, not a
// timeout); the retry's good answer is taken.
TEST_F(SerialChannelTest, FrameThatDoesNotAnswerTheRequestIsAFailedAttempt) {
    const std::vector<Bytes> wrong{
        {0x02, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78},
        {0x01, 0x04, 0x04, 0x12, 0x34, 0x56, 0x78},
        {0x01, 0x03, 0x02, 0x12, 0x34, 0x56, 0x78},
    };
    const Bytes good{0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78};
    for (MessageFraming framing : {MessageFraming::kRtu, MessageFraming::kAscii}) {
        SCOPED_TRACE(framing == MessageFraming::kRtu ? "RTU" : "ASCII");
        auto frameOf = [framing](const Bytes& body) {
            return framing == MessageFraming::kRtu ? WithCrc(body) : AsciiFrame(body);
        };
        auto read = [framing] {
            return BuildReadRequest(framing, 1, ReadArea::kHoldingRegister, 0, 2);
        };
        const ChannelCounts before = device_.Counts();
        for (const Bytes& body : wrong) {
            line_->AnswerNextWith(frameOf(body));
            line_->AnswerNextWith(frameOf(body));
            auto request = read();
            Exchange(*request);
            EXPECT_FALSE(request->IsValid());
        }
        const ChannelCounts after = device_.Counts();
        EXPECT_EQ(
            (ChannelCounts{after.sent - before.sent, after.received - before.received,
                           after.timeouts - before.timeouts, after.commErrors - before.commErrors}),
            (ChannelCounts{6, 0, 0, 6}));

        line_->AnswerNextWith(frameOf(wrong[0]));
        line_->AnswerNextWith(frameOf(good));
        auto request = read();
        Exchange(*request);
        ASSERT_TRUE(request->IsValid());
        EXPECT_EQ(request->GetWord(1), 0x5678);
    }
}

TEST_F(SerialChannelTest, ReadErrorIsReportedOnStandardOutputAndCounted) {
    line_->FailNextRead(5);
    line_->AnswerNextWith(kTwoRegisters);
    line_->AnswerNextWith(kTwoRegisters);
    auto request = ReadTwoRegisters();

    Exchange(*request);

    EXPECT_TRUE(request->IsValid());
    EXPECT_EQ(console_, std::vector<std::string>{"Error reading from port: 5"});
    EXPECT_EQ(channel_->Counts(), (ChannelCounts{2, 1, 0, 1}));
}

TEST_F(SerialChannelTest, FailedOrShortWriteIsNotRetried) {
    line_->FailNextWrite(5);
    auto failed = ReadTwoRegisters();
    Exchange(*failed);
    EXPECT_FALSE(failed->IsValid());
    EXPECT_EQ(line_->Writes().size(), 0u);
    EXPECT_EQ(channel_->Counts(), (ChannelCounts{0, 0, 0, 1}));
    EXPECT_EQ(clock_.SleptMs(), 20u);

    line_->ShortNextWrite();
    auto cut = ReadTwoRegisters();
    Exchange(*cut);
    EXPECT_FALSE(cut->IsValid());
    EXPECT_EQ(line_->Writes().size(), 1u);
    EXPECT_EQ(channel_->Counts(), (ChannelCounts{0, 0, 0, 1}));  // a short write counts nothing
    EXPECT_TRUE(channel_->PurgeNeeded());
}

TEST_F(SerialChannelTest, PortThatCannotBeOpenedFailsThroughTheWriteAndIsRetriedNextTime) {
    line_->FailOpen(2);
    auto request = ReadTwoRegisters();
    Exchange(*request);
    EXPECT_FALSE(request->IsValid());
    EXPECT_EQ(console_, std::vector<std::string>{"Error opening COM3: 2"});
    EXPECT_EQ(channel_->Counts(), (ChannelCounts{0, 0, 0, 1}));
    EXPECT_EQ(device_.Counts(), (ChannelCounts{0, 0, 0, 1}));

    line_->FailOpen(0);
    line_->AnswerNextWith(kTwoRegisters);
    auto next = ReadTwoRegisters();
    Exchange(*next);
    EXPECT_TRUE(next->IsValid());
}

TEST_F(SerialChannelTest, BroadcastIsWrittenThenTheExchangeWaitsTheTimeOutAndKeepsTheRequest) {
    LocalTime now{2026, 12, 9, 14, 3, 7, 250, 3};
    auto sync = BuildTimeSyncRequest(MessageFraming::kRtu, now);
    ASSERT_EQ(sync->GetAnswerLength(), 0);
    const Bytes request(sync->Frame().begin(), sync->Frame().end());

    Exchange(*sync, 250);

    EXPECT_TRUE(sync->IsValid());
    EXPECT_EQ(Bytes(sync->Frame().begin(), sync->Frame().end()), request);
    EXPECT_TRUE(line_->ReadSizes().empty());
    EXPECT_EQ(channel_->Counts(), (ChannelCounts{1, 0, 0, 0}));
    EXPECT_EQ(clock_.SleptMs(), 250u);
}

TEST_F(SerialChannelTest, NothingIsSentWhileAcquisitionIsStoppedOrForATcpFrame) {
    running_ = false;
    auto stopped = ReadTwoRegisters();
    Exchange(*stopped);
    EXPECT_EQ(stopped->Length(), 0);

    running_ = true;
    auto tcp = BuildReadRequest(MessageFraming::kTcp, 1, ReadArea::kHoldingRegister, 0, 2);
    Exchange(*tcp);
    EXPECT_EQ(tcp->Length(), 0);
    EXPECT_TRUE(line_->Writes().empty());
    EXPECT_FALSE(line_->IsOpen());
}

TEST_F(SerialChannelTest, LineSettingsAreAppliedOnOpenAndAfterAnEditAndTimeOutsPerExchange) {
    port_.baudRate = 19200;
    port_.dataBits = 7;
    port_.parity = 1;
    port_.stopBits = 2;
    port_.flowControl = 1;
    line_->SetResponder([](const Bytes&) { return kTwoRegisters; });
    auto first = ReadTwoRegisters();
    Exchange(*first, 100);
    auto second = ReadTwoRegisters();
    Exchange(*second, 300);  // another device on the port with its own time-out
    EXPECT_EQ(line_->ConfigureCount(), 1);
    EXPECT_EQ(line_->ReadConstantMs(), 300u);
    EXPECT_EQ(line_->ReadPerByteMs(), 1u);
    auto settings = line_->LastSettings();
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->baudRate, 19200u);
    EXPECT_EQ(settings->dataBits, 7);
    EXPECT_EQ(settings->parity, 1);
    EXPECT_EQ(settings->stopBits, 2);
    EXPECT_EQ(settings->flowControl, 1);
    EXPECT_FALSE(port_.settingsChanged);

    port_.baudRate = 38400;
    port_.settingsChanged = true;
    auto third = ReadTwoRegisters();
    Exchange(*third);
    EXPECT_EQ(line_->ConfigureCount(), 2);
    EXPECT_EQ(line_->LastSettings()->baudRate, 38400u);
}

TEST_F(SerialChannelTest, RefusedSettingsAreTriedAgainAtTheNextExchange) {
    line_->RefuseConfigure(true);
    EXPECT_EQ(channel_->Configure(100), 0);
    line_->RefuseConfigure(false);
    EXPECT_EQ(channel_->Configure(100), 1);
    EXPECT_EQ(line_->ConfigureCount(), 1);
}

TEST(SerialChannelTrace, OpeningThePortWritesTheTraceLine) {
    FakeClock clock;
    testing::MemoryFileSystem files;
    TraceFile trace(clock, files);
    trace.SetFileName("/trace/VelkOpc.log");
    ASSERT_TRUE(trace.OpenTrace());
    std::vector<std::string> lines;
    trace.SetEcho([&](const std::string& line) { lines.push_back(line); });
    InstallTrace(&trace);

    OPort port(5);
    SerialChannel channel(port, std::make_unique<FakeSerialPort>(), "/dev/ttyS4", clock, nullptr,
                          [] { return true; });
    EXPECT_EQ(channel.Configure(100), 1);
    EXPECT_EQ(channel.Configure(100), 1);
    InstallTrace(nullptr);

    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("COM5 serial communication port open"), std::string::npos) << lines[0];
}

// ---- the device's serial exchange ----

class TransactSerialTest : public ::testing::Test {
  protected:
    TransactSerialTest()
        : primary_(1),
          secondary_(2),
          set_(lines_, &settings_, clock_, nullptr, [] { return true; }),
          channels_(device_, ChannelServices{clock_, observer_, &set_}) {
        device_.params.primaryPort = &primary_;
        device_.params.secondaryPort = &secondary_;
        primary_.baudRate = secondary_.baudRate = 19200;
    }

    FakeSerialPort& LineOf(const OPort& port) {
        return *lines_.Port(&port == &primary_ ? primaryIndex_ : secondaryIndex_);
    }

    // The lines of both ports, made in a known order.
    void MakeLines() {
        set_.ChannelOf(&primary_);
        primaryIndex_ = lines_.Count() - 1;
        set_.ChannelOf(&secondary_);
        secondaryIndex_ = lines_.Count() - 1;
    }

    FakeClock clock_;
    FakeSerialPortFactory lines_;
    testing::MemorySettingsStore settings_;
    RecordingExchangeObserver observer_;
    OPort primary_;
    OPort secondary_;
    ODevice device_;
    SerialChannelSet set_;
    DeviceChannels channels_;
    std::size_t primaryIndex_ = 0;
    std::size_t secondaryIndex_ = 1;
};

TEST_F(TransactSerialTest, GoodExchangeReportsSuccessOnTheActiveChannel) {
    MakeLines();
    LineOf(primary_).AnswerNextWith(kTwoRegisters);
    auto request = ReadTwoRegisters();

    EXPECT_EQ(channels_.TransactSerial(request.get(), 100, kActiveChannel), request.get());

    EXPECT_TRUE(request->IsValid());
    EXPECT_TRUE(channels_.ActiveOk());
    EXPECT_EQ(observer_.Reports(),
              (std::vector<RecordingExchangeObserver::Report>{{&device_, false, kActiveChannel}}));
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{1, 1, 0, 0}));
    EXPECT_EQ(channels_.Counts(1), (ChannelCounts{}));
    EXPECT_TRUE(LineOf(secondary_).Writes().empty());
    EXPECT_EQ(LineOf(primary_).OpenedPath(), "/dev/ttyS0");
}

TEST_F(TransactSerialTest, InvalidAnswerIsFollowedByAProbeThatKeepsTheChannelGood) {
    MakeLines();
    Bytes badCrc = kTwoRegisters;
    badCrc.back() ^= 0xFF;
    auto& line = LineOf(primary_);
    line.AnswerNextWith(badCrc);
    line.SetResponder([](const Bytes& request) { return request; });  // the probe echoes
    auto request = ReadTwoRegisters();

    channels_.TransactSerial(request.get(), 100, kActiveChannel);

    EXPECT_FALSE(request->IsValid());  // stays failed for its caller
    ASSERT_EQ(line.Writes().size(), 2u);
    EXPECT_EQ(line.Writes()[1][1], function_code::kDiagnostics);
    EXPECT_TRUE(channels_.ActiveOk());
    EXPECT_EQ(observer_.Reports().back().failed, false);
    // The wrong check field had the right length: it counts as received.
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{2, 2, 0, 0}));
}

TEST_F(TransactSerialTest, TheRequestPauseKeepsRequestsApartOnTheLine) {
    MakeLines();
    device_.params.requestPause = 50;
    auto& line = LineOf(primary_);
    std::vector<std::uint32_t> writtenAt;
    line.SetResponder([&](const Bytes&) {
        writtenAt.push_back(clock_.TickCount());
        return kTwoRegisters;
    });
    auto request = ReadTwoRegisters();
    channels_.TransactSerial(request.get(), 100, kActiveChannel);
    const std::uint32_t firstEnd = clock_.TickCount();
    request = ReadTwoRegisters();
    channels_.TransactSerial(request.get(), 100, kActiveChannel);
    ASSERT_TRUE(request->IsValid());
    ASSERT_EQ(writtenAt.size(), 2u);
    EXPECT_GE(writtenAt[1] - firstEnd, 50u);

    // A request after a longer idle time than the pause goes out without waiting.
    clock_.Advance(80);
    const std::uint32_t idleEnd = clock_.TickCount();
    const std::uint64_t slept = clock_.SleptMs();
    request = ReadTwoRegisters();
    channels_.TransactSerial(request.get(), 100, kActiveChannel);
    ASSERT_EQ(writtenAt.size(), 3u);
    EXPECT_LT(writtenAt[2] - idleEnd, 50u);
    EXPECT_LT(clock_.SleptMs() - slept, 50u);
}

TEST_F(TransactSerialTest, TheLineGetsThePortsRs485ModeAndTheEchoIsTakenOff) {
    primary_.rs485 = 1;
    primary_.rs485RtsOnSend = 0;
    primary_.rs485RtsAfterSend = 1;
    primary_.rs485DelayBeforeSend = 2;
    primary_.rs485DelayAfterSend = 3;
    primary_.echoSuppression = 1;
    MakeLines();
    auto& line = LineOf(primary_);
    // The adapter gives back the request ahead of the answer.
    line.SetResponder([](const Bytes& request) {
        Bytes echoed = request;
        echoed.insert(echoed.end(), kTwoRegisters.begin(), kTwoRegisters.end());
        return echoed;
    });
    auto request = ReadTwoRegisters();
    channels_.TransactSerial(request.get(), 100, kActiveChannel);
    EXPECT_TRUE(request->IsValid());
    ASSERT_TRUE(line.LastSettings().has_value());
    EXPECT_EQ(line.LastSettings()->rs485, (Rs485Settings{true, false, true, 2, 3}));

    // An echo that is not the request fails the attempt; the retry gets its answer.
    int calls = 0;
    line.SetResponder([&](const Bytes& request) {
        Bytes echoed = request;
        if (calls++ == 0) echoed[1] ^= 0x40;
        echoed.insert(echoed.end(), kTwoRegisters.begin(), kTwoRegisters.end());
        return echoed;
    });
    request = ReadTwoRegisters();
    channels_.TransactSerial(request.get(), 100, kActiveChannel);
    EXPECT_TRUE(request->IsValid());
    EXPECT_EQ(calls, 2);
}

TEST_F(TransactSerialTest, DeadLineFailsRequestAndProbe) {
    MakeLines();
    auto request = ReadTwoRegisters();
    channels_.TransactSerial(request.get(), 100, kActiveChannel);
    EXPECT_FALSE(channels_.ActiveOk());
    EXPECT_EQ(observer_.Reports(),
              (std::vector<RecordingExchangeObserver::Report>{{&device_, true, kActiveChannel}}));
    // Two attempts for the request and two for the probe.
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{4, 0, 4, 0}));
}

TEST_F(TransactSerialTest, FailedDiagnosticRequestIsNotProbedAgain) {
    MakeLines();
    auto probe = BuildDiagnosticRequest(MessageFraming::kRtu, 1);
    channels_.TransactSerial(probe.get(), 100, kStandbyChannel);
    EXPECT_EQ(LineOf(secondary_).Writes().size(), 2u);  // the two attempts only
    EXPECT_TRUE(LineOf(primary_).Writes().empty());
    EXPECT_FALSE(channels_.StandbyOk());
    EXPECT_EQ(observer_.Reports().back(),
              (RecordingExchangeObserver::Report{&device_, true, kStandbyChannel}));
    EXPECT_EQ(channels_.Counts(1), (ChannelCounts{2, 0, 2, 0}));
}

TEST_F(TransactSerialTest, ChannelsFollowTheActiveChannelAssignment) {
    MakeLines();
    device_.activeChannel = 1;  // running on the secondary
    LineOf(secondary_).SetResponder([](const Bytes&) { return kTwoRegisters; });
    LineOf(primary_).SetResponder([](const Bytes& request) { return request; });
    auto request = ReadTwoRegisters();
    channels_.TransactSerial(request.get(), 100, kActiveChannel);
    auto probe = BuildDiagnosticRequest(MessageFraming::kRtu, 1);
    channels_.TransactSerial(probe.get(), 100, kStandbyChannel);

    EXPECT_TRUE(request->IsValid());
    EXPECT_TRUE(probe->IsValid());
    EXPECT_EQ(channels_.Counts(1), (ChannelCounts{1, 1, 0, 0}));
    EXPECT_EQ(channels_.Counts(0), (ChannelCounts{1, 1, 0, 0}));
    EXPECT_TRUE(channels_.ActiveOk());
    EXPECT_TRUE(channels_.StandbyOk());
}

TEST_F(TransactSerialTest, ProbeUsesTheFramingOfThePortDataBits) {
    primary_.dataBits = 7;
    MakeLines();
    auto request = BuildReadRequest(MessageFraming::kAscii, 1, ReadArea::kHoldingRegister, 0, 2);
    channels_.TransactSerial(request.get(), 100, kActiveChannel);
    auto writes = LineOf(primary_).Writes();
    ASSERT_EQ(writes.size(), 4u);
    auto expected = BuildDiagnosticRequest(MessageFraming::kAscii, 1);
    EXPECT_EQ(writes[2], Bytes(expected->Frame().begin(), expected->Frame().end()));
}

TEST_F(TransactSerialTest, DeviceWithoutABoundPortFailsWithoutSending) {
    device_.params.primaryPort = nullptr;
    auto request = ReadTwoRegisters();
    channels_.TransactSerial(request.get(), 100, kActiveChannel);
    EXPECT_EQ(request->Length(), 0);
    EXPECT_EQ(observer_.Reports().back().failed, true);
    EXPECT_EQ(channels_.TransactSerial(nullptr, 100, kActiveChannel), nullptr);
}

TEST_F(TransactSerialTest, PortNameMapsThroughTheMachineSettings) {
    ASSERT_TRUE(settings_.CreateKey(kSerialPortsKey));
    ASSERT_TRUE(settings_.WriteValue(kSerialPortsKey, "com2", RegValue::String("/dev/ttyUSB0")));
    MakeLines();
    auto probe = BuildDiagnosticRequest(MessageFraming::kRtu, 1);
    channels_.TransactSerial(probe.get(), 100, kStandbyChannel);
    EXPECT_EQ(LineOf(secondary_).OpenedPath(), "/dev/ttyUSB0");
}

TEST(SerialDevicePathTest, DefaultsAndOverrides) {
    testing::MemorySettingsStore store;
    EXPECT_EQ(SerialDevicePath(nullptr, "COM1"), "/dev/ttyS0");
    EXPECT_EQ(SerialDevicePath(&store, "com16"), "/dev/ttyS15");
    EXPECT_EQ(SerialDevicePath(&store, "ttyUSB1"), "/dev/ttyUSB1");
    EXPECT_EQ(SerialDevicePath(&store, "/tmp/pty"), "/tmp/pty");
    EXPECT_EQ(SerialDevicePath(&store, "COM0"), "/dev/COM0");
    ASSERT_TRUE(store.CreateKey(kSerialPortsKey));
    ASSERT_TRUE(store.WriteValue(kSerialPortsKey, "COM3", RegValue::String("/dev/ttyUSB0")));
    ASSERT_TRUE(store.WriteValue(kSerialPortsKey, "COM4", RegValue::String("")));
    ASSERT_TRUE(store.WriteValue(kSerialPortsKey, "COM5", RegValue::Dword(7)));
    EXPECT_EQ(SerialDevicePath(&store, "COM3"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath(&store, "COM4"), "/dev/ttyS3");  // empty: the default
    EXPECT_EQ(SerialDevicePath(&store, "COM5"), "/dev/ttyS4");  // not a text: the default
}

}  // namespace
}  // namespace velk

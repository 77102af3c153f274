// velkopc-plcsim against real Modbus peers: libmodbus over loopback TCP and over a socat
// pseudo-terminal pair in RTU, and the system's own framing code over TCP and RTU, with the
// simulator's fault commands.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "modbus/event_record.h"
#include "modbus/modbus_requests.h"
#include "tests/support/plcsim_process.h"

namespace velk {
namespace {

using test::PlcsimProcess;
using Bytes = std::vector<std::uint8_t>;

constexpr FileTime kNow = 134'000'000'000'000'000ull;

// --- a plain byte stream to the simulator -------------------------------------------------

class Stream {
  public:
    explicit Stream(int fd = -1) : fd_(fd) {}
    ~Stream() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Stream(Stream&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    bool Open() const { return fd_ >= 0; }

    static Stream Tcp(int port) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd);
            return Stream();
        }
        return Stream(fd);
    }

    static Stream Serial(const std::string& path) {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd >= 0) {
            termios settings{};
            tcgetattr(fd, &settings);
            cfmakeraw(&settings);
            tcsetattr(fd, TCSANOW, &settings);
        }
        return Stream(fd);
    }

    bool Send(std::span<const std::uint8_t> bytes) const {
        return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // One read of whatever has arrived within the wait; empty on none, nullopt-like -1
    // size never: a closed peer shows as closed().
    Bytes ReadOnce(int waitMs) {
        pollfd wait = {fd_, POLLIN, 0};
        if (poll(&wait, 1, waitMs) <= 0) {
            return {};
        }
        std::uint8_t buffer[1024];
        const ssize_t count = read(fd_, buffer, sizeof buffer);
        if (count <= 0) {
            closed_ = true;
            return {};
        }
        return Bytes(buffer, buffer + count);
    }

    // Reads until `count` bytes arrived or nothing more came for quietMs.
    Bytes Read(std::size_t count, int quietMs = 3000) {
        Bytes all;
        while (all.size() < count) {
            Bytes part = ReadOnce(quietMs);
            if (part.empty()) {
                break;
            }
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }

    bool Closed() const { return closed_; }

  private:
    int fd_ = -1;
    bool closed_ = false;
};

// Sends the request and stores what came back as the answer, the way the server's
// exchanges do: only an answer of exactly the expected length is kept.
bool Exchange(Stream& stream, OMessage& message) {
    const std::uint16_t expected = message.GetAnswerLength();
    if (!stream.Send(message.Frame())) {
        return false;
    }
    const Bytes answer = stream.Read(expected);
    message.Reset();
    message.SetAnswerLength(expected);
    return message.StoreAnswer(answer, kNow);
}

std::string Reason(const std::string& error) { return error; }

// --- fixtures ------------------------------------------------------------------------------

class PlcsimTcpTest : public ::testing::Test {
  protected:
    void StartWith(std::vector<std::string> arguments) {
        std::string error;
        ASSERT_TRUE(simulator_.Start(arguments, error)) << Reason(error);
        port_ = simulator_.TcpPort(1);
        ASSERT_GT(port_, 0);
    }

    modbus_t* Libmodbus(int port) {
        modbus_t* context = modbus_new_tcp("127.0.0.1", port);
        modbus_set_slave(context, 1);
        modbus_set_response_timeout(context, 3, 0);
        if (modbus_connect(context) != 0) {
            modbus_free(context);
            return nullptr;
        }
        contexts_.push_back(context);
        return context;
    }

    void TearDown() override {
        for (modbus_t* context : contexts_) {
            modbus_close(context);
            modbus_free(context);
        }
        simulator_.Stop();
    }

    PlcsimProcess simulator_;
    int port_ = 0;
    std::vector<modbus_t*> contexts_;
};

TEST_F(PlcsimTcpTest, LibmodbusReadsPresetsAndWritesEveryTable) {
    StartWith({"--tcp", "127.0.0.1:0", "--holding", "5=1234", "--input", "2=77", "--coil", "3=1",
               "--discrete", "4=1"});
    modbus_t* context = Libmodbus(port_);
    ASSERT_NE(context, nullptr);

    std::uint16_t words[3] = {};
    ASSERT_EQ(modbus_read_registers(context, 5, 1, words), 1);
    EXPECT_EQ(words[0], 1234);
    ASSERT_EQ(modbus_read_input_registers(context, 2, 1, words), 1);
    EXPECT_EQ(words[0], 77);
    std::uint8_t bits[3] = {};
    ASSERT_EQ(modbus_read_bits(context, 2, 3, bits), 3);
    EXPECT_EQ(bits[0], 0);
    EXPECT_EQ(bits[1], 1);
    ASSERT_EQ(modbus_read_input_bits(context, 4, 1, bits), 1);
    EXPECT_EQ(bits[0], 1);

    ASSERT_EQ(modbus_write_register(context, 10, 999), 1);
    const std::uint16_t several[3] = {1, 2, 0xFFFF};
    ASSERT_EQ(modbus_write_registers(context, 20, 3, several), 3);
    ASSERT_EQ(modbus_write_bit(context, 7, 1), 1);
    const std::uint8_t coils[2] = {1, 1};
    ASSERT_EQ(modbus_write_bits(context, 30, 2, coils), 2);

    EXPECT_EQ(simulator_.Command("get holding 10"), "999\n");
    EXPECT_EQ(simulator_.Command("get holding 20 3"), "1 2 65535\n");
    EXPECT_EQ(simulator_.Command("get coil 7"), "1\n");
    EXPECT_EQ(simulator_.Command("get coil 30 3"), "1 1 0\n");
    EXPECT_EQ(simulator_.ReportValue("requests.fc16"), 1);
    EXPECT_EQ(simulator_.ReportValue("requests.fc15"), 1);
}

TEST_F(PlcsimTcpTest, AddressesOutsideTheImageGiveIllegalAddress) {
    StartWith({"--tcp", "127.0.0.1:0", "--size", "100"});
    modbus_t* context = Libmodbus(port_);
    ASSERT_NE(context, nullptr);
    std::uint16_t words[2];
    EXPECT_EQ(modbus_read_registers(context, 99, 2, words), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_register(context, 100, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
    // The connection stays usable after an exception.
    EXPECT_EQ(modbus_read_registers(context, 98, 2, words), 2);
}

TEST_F(PlcsimTcpTest, ValuesSetWhileRunningAreServed) {
    StartWith({"--tcp", "127.0.0.1:0"});
    modbus_t* context = Libmodbus(port_);
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(simulator_.Command("set holding 1 4321 -1"), "");
    std::uint16_t words[2];
    ASSERT_EQ(modbus_read_registers(context, 1, 2, words), 2);
    EXPECT_EQ(words[0], 4321);
    EXPECT_EQ(words[1], 0xFFFF);
    EXPECT_EQ(simulator_.Command("set holding 70000 1").rfind("error: ", 0), 0u);
}

TEST_F(PlcsimTcpTest, ExceptionFaultAppliesToTheCountedAnswersOnly) {
    StartWith({"--tcp", "127.0.0.1:0"});
    modbus_t* context = Libmodbus(port_);
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(simulator_.Command("exception 4 1"), "");
    std::uint16_t word;
    EXPECT_EQ(modbus_read_registers(context, 0, 1, &word), -1);
    EXPECT_EQ(errno, EMBXSFAIL);
    EXPECT_EQ(modbus_read_registers(context, 0, 1, &word), 1);
}

TEST_F(PlcsimTcpTest, DiagnosticRequestIsEchoed) {
    StartWith({"--tcp", "127.0.0.1:0", "--unit", "7"});
    Stream stream = Stream::Tcp(port_);
    ASSERT_TRUE(stream.Open());
    auto probe = BuildDiagnosticRequest(MessageFraming::kTcp, 7);
    const Bytes sent(probe->Frame().begin(), probe->Frame().end());
    ASSERT_TRUE(Exchange(stream, *probe));
    EXPECT_TRUE(probe->IsValid());
    EXPECT_EQ(Bytes(probe->Frame().begin(), probe->Frame().end()), sent);
    EXPECT_EQ(simulator_.ReportText("last.request"), "ch1 unit 7 pdu 08 00 00 F0 F0");
}

TEST_F(PlcsimTcpTest, OtherUnitsGetAnException) {
    StartWith({"--tcp", "127.0.0.1:0", "--unit", "7"});
    Stream stream = Stream::Tcp(port_);
    auto request = BuildReadRequest(MessageFraming::kTcp, 9, ReadArea::kHoldingRegister, 0, 1);
    ASSERT_TRUE(stream.Send(request->Frame()));
    const Bytes answer = stream.Read(9);
    ASSERT_EQ(answer.size(), 9u);
    EXPECT_EQ(answer[7], 0x83);
    EXPECT_EQ(answer[8], 0x0B);
}

TEST_F(PlcsimTcpTest, EventBufferHoldsRecordsThenTheEndMark) {
    StartWith({"--tcp", "127.0.0.1:0", "--device-type", "1"});
    ASSERT_EQ(simulator_.Command("event 5 1 at=14:03:07.250 area=1"), "");
    ASSERT_EQ(simulator_.Command("event 6 0 at=14:03:08 area=1"), "");
    Stream stream = Stream::Tcp(port_);

    auto chunk = BuildEventBufferRequest(MessageFraming::kTcp, 1, 0x0C00, 0, 124);
    ASSERT_TRUE(Exchange(stream, *chunk));
    ASSERT_TRUE(chunk->IsValid());
    const auto recordAt = [&](const OMessage& message, std::size_t index) {
        Bytes bytes;
        for (std::size_t w = 0; w < 4; ++w) {
            const std::uint16_t word = message.GetWord(index * 4 + w);
            bytes.push_back(static_cast<std::uint8_t>(word >> 8));
            bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
        }
        return *DecodeEventRecord(bytes);
    };
    const EventRecord first = recordAt(*chunk, 0);
    EXPECT_EQ(first.signal, 5);
    EXPECT_TRUE(first.state);
    EXPECT_EQ(first.hour, 14);
    EXPECT_EQ(first.minute, 3);
    EXPECT_EQ(first.second, 7);
    EXPECT_EQ(first.millisecond, 250);
    EXPECT_EQ(recordAt(*chunk, 1).signal, 6);
    EXPECT_FALSE(recordAt(*chunk, 1).state);
    EXPECT_EQ(recordAt(*chunk, 2).signal, kEventEndMark);

    // The records also set the event-signal coils.
    auto coils = BuildReadRequest(MessageFraming::kTcp, 1, ReadArea::kEventSignal, 5, 2);
    ASSERT_TRUE(Exchange(stream, *coils));
    EXPECT_EQ(coils->GetBit(0), 0xFFFF);
    EXPECT_EQ(coils->GetBit(1), 0);

    // Master 2 kept its own, empty buffer.
    auto other = BuildEventBufferRequest(MessageFraming::kTcp, 1, 0x0E00, 0, 4);
    ASSERT_TRUE(Exchange(stream, *other));
    EXPECT_EQ(other->GetWord(0), kEventEndMark);

    ASSERT_EQ(simulator_.Command("overrun area=1"), "");
    auto again = BuildEventBufferRequest(MessageFraming::kTcp, 1, 0x0C00, 0, 124);
    ASSERT_TRUE(Exchange(stream, *again));
    EXPECT_EQ(recordAt(*again, 1).signal, 6);
    EXPECT_EQ(recordAt(*again, 2).signal, kEventOverrunMark);
}

TEST_F(PlcsimTcpTest, TesseraAnswersTheStatusReadOf640Signals) {
    StartWith({"--tcp", "127.0.0.1:0", "--device-type", "2"});
    ASSERT_EQ(simulator_.Command("signal 639 1"), "");
    ASSERT_EQ(simulator_.Command("event 3 1 area=2"), "");
    Stream stream = Stream::Tcp(port_);
    auto status = BuildStatusRequest(MessageFraming::kTcp, 1);
    ASSERT_TRUE(Exchange(stream, *status));
    ASSERT_TRUE(status->IsValid());
    EXPECT_EQ(status->GetBit(639), 0xFFFF);
    EXPECT_EQ(status->GetBit(3), 0xFFFF);
    EXPECT_EQ(status->GetBit(638), 0);
    // Master 2 of a "Tessera" lies at 0x0EA0.
    auto chunk = BuildEventBufferRequest(MessageFraming::kTcp, 1, 0x0EA0, 0, 64);
    ASSERT_TRUE(Exchange(stream, *chunk));
    EXPECT_EQ(chunk->GetWord(0), 3);
    EXPECT_EQ(chunk->GetWord(4), kEventEndMark);
}

TEST_F(PlcsimTcpTest, TimeSyncIsAnsweredAndRemembered) {
    StartWith({"--tcp", "127.0.0.1:0"});
    Stream stream = Stream::Tcp(port_);
    LocalTime local;
    local.year = 2026;
    local.month = 12;
    local.day = 9;
    local.hour = 10;
    local.minute = 15;
    local.second = 2;
    local.millisecond = 345;
    auto sync = BuildTimeSyncRequest(MessageFraming::kTcp, local);
    ASSERT_TRUE(Exchange(stream, *sync));
    EXPECT_TRUE(sync->IsValid());
    EXPECT_EQ(simulator_.ReportValue("timesync.count"), 1);
    EXPECT_EQ(simulator_.ReportText("timesync.last"), "2026-12-09 10:15:02.345");
    EXPECT_EQ(simulator_.ReportValue("timesync.channel"), 1);
}

TEST_F(PlcsimTcpTest, WrongLengthAnswersFailTheExactLengthReceive) {
    StartWith({"--tcp", "127.0.0.1:0"});
    Stream stream = Stream::Tcp(port_);
    ASSERT_EQ(simulator_.Command("wrong-length -1 1"), "");
    auto shortAnswer = BuildReadRequest(MessageFraming::kTcp, 1, ReadArea::kHoldingRegister, 0, 2);
    const std::uint16_t expected = shortAnswer->GetAnswerLength();
    ASSERT_TRUE(stream.Send(shortAnswer->Frame()));
    const Bytes got = stream.Read(expected, 500);
    EXPECT_EQ(got.size(), expected - 1u);
    shortAnswer->SetAnswerLength(expected);
    EXPECT_FALSE(shortAnswer->StoreAnswer(got, kNow));

    ASSERT_EQ(simulator_.Command("wrong-length 2 1"), "");
    auto longAnswer = BuildReadRequest(MessageFraming::kTcp, 1, ReadArea::kHoldingRegister, 0, 2);
    ASSERT_TRUE(stream.Send(longAnswer->Frame()));
    EXPECT_EQ(stream.Read(expected + 2u, 500).size(), expected + 2u);

    // The fault was counted out: the next answer is right again.
    auto good = BuildReadRequest(MessageFraming::kTcp, 1, ReadArea::kHoldingRegister, 0, 2);
    EXPECT_TRUE(Exchange(stream, *good));
    EXPECT_TRUE(good->IsValid());
}

TEST_F(PlcsimTcpTest, SplitAnswerArrivesInTwoParts) {
    StartWith({"--tcp", "127.0.0.1:0"});
    Stream stream = Stream::Tcp(port_);
    ASSERT_EQ(simulator_.Command("split 1 gap=700"), "");
    auto request = BuildReadRequest(MessageFraming::kTcp, 1, ReadArea::kHoldingRegister, 0, 10);
    const std::uint16_t expected = request->GetAnswerLength();
    ASSERT_TRUE(stream.Send(request->Frame()));
    const Bytes first = stream.ReadOnce(3000);
    ASSERT_FALSE(first.empty());
    EXPECT_LT(first.size(), expected);  // a single receive gets a short answer
    Bytes rest = stream.Read(expected - first.size());
    Bytes whole = first;
    whole.insert(whole.end(), rest.begin(), rest.end());
    request->Reset();
    request->SetAnswerLength(expected);
    ASSERT_TRUE(request->StoreAnswer(whole, kNow));
    EXPECT_TRUE(request->IsValid());
}

TEST_F(PlcsimTcpTest, SilentAndLateAnswers) {
    StartWith({"--tcp", "127.0.0.1:0"});
    Stream stream = Stream::Tcp(port_);
    ASSERT_EQ(simulator_.Command("silent on"), "");
    auto request = BuildDiagnosticRequest(MessageFraming::kTcp, 1);
    ASSERT_TRUE(stream.Send(request->Frame()));
    EXPECT_TRUE(stream.ReadOnce(300).empty());
    EXPECT_EQ(simulator_.ReportValue("requests.fc8"), 1);  // heard, not answered

    ASSERT_EQ(simulator_.Command("silent off"), "");
    ASSERT_EQ(simulator_.Command("delay 600"), "");
    auto late = BuildDiagnosticRequest(MessageFraming::kTcp, 1);
    ASSERT_TRUE(stream.Send(late->Frame()));
    EXPECT_TRUE(stream.ReadOnce(100).empty());
    const Bytes answer = stream.Read(late->GetAnswerLength(), 5000);
    EXPECT_EQ(answer.size(), late->GetAnswerLength());
}

TEST_F(PlcsimTcpTest, HangupAndCloseEndTheConnection) {
    StartWith({"--tcp", "127.0.0.1:0"});
    Stream first = Stream::Tcp(port_);
    ASSERT_EQ(simulator_.Command("hangup 1"), "");
    auto request = BuildDiagnosticRequest(MessageFraming::kTcp, 1);
    ASSERT_TRUE(first.Send(request->Frame()));
    EXPECT_TRUE(first.Read(12).empty());
    EXPECT_TRUE(first.Closed());

    Stream second = Stream::Tcp(port_);
    auto probe = BuildDiagnosticRequest(MessageFraming::kTcp, 1);
    ASSERT_TRUE(Exchange(second, *probe));
    ASSERT_EQ(simulator_.Command("close"), "");
    EXPECT_TRUE(second.Read(1).empty());
    EXPECT_TRUE(second.Closed());
}

TEST_F(PlcsimTcpTest, ChannelsAreCutAndRestoredOnTheirOwn) {
    StartWith({"--tcp", "127.0.0.1:0", "--tcp", "127.0.0.1:0"});
    const int secondPort = simulator_.TcpPort(2);
    ASSERT_GT(secondPort, 0);
    ASSERT_NE(secondPort, port_);
    Stream connected = Stream::Tcp(secondPort);
    ASSERT_TRUE(connected.Open());

    ASSERT_EQ(simulator_.Command("cut 2"), "");
    EXPECT_TRUE(connected.Read(1).empty());
    EXPECT_TRUE(connected.Closed());
    EXPECT_FALSE(Stream::Tcp(secondPort).Open());

    Stream primary = Stream::Tcp(port_);
    auto probe = BuildDiagnosticRequest(MessageFraming::kTcp, 1);
    EXPECT_TRUE(Exchange(primary, *probe));

    ASSERT_EQ(simulator_.Command("restore 2"), "");
    Stream back = Stream::Tcp(secondPort);
    ASSERT_TRUE(back.Open());
    auto again = BuildDiagnosticRequest(MessageFraming::kTcp, 1);
    EXPECT_TRUE(Exchange(back, *again));
    EXPECT_EQ(simulator_.ReportValue("requests.ch2"), 1);
    EXPECT_EQ(simulator_.ReportValue("requests.ch1"), 1);
}

TEST_F(PlcsimTcpTest, LateAnswerOnOneChannelDoesNotHoldUpTheOther) {
    StartWith({"--tcp", "127.0.0.1:0", "--tcp", "127.0.0.1:0"});
    Stream slow = Stream::Tcp(port_);
    Stream fast = Stream::Tcp(simulator_.TcpPort(2));
    ASSERT_EQ(simulator_.Command("delay 3000 ch=1"), "");
    auto late = BuildDiagnosticRequest(MessageFraming::kTcp, 1);
    ASSERT_TRUE(slow.Send(late->Frame()));
    auto quick = BuildDiagnosticRequest(MessageFraming::kTcp, 1);
    ASSERT_TRUE(Exchange(fast, *quick));
    EXPECT_TRUE(quick->IsValid());
    // The first channel's answer is still pending while the second one was served.
    EXPECT_TRUE(slow.ReadOnce(0).empty());
    EXPECT_EQ(slow.Read(late->GetAnswerLength(), 6000).size(), late->GetAnswerLength());
}

TEST_F(PlcsimTcpTest, GeneralDevicePlacesItsBufferFromTheEventStackOption) {
    StartWith({"--tcp", "127.0.0.1:0", "--device-type", "0", "--event-stack", "1000,2000,10"});
    ASSERT_EQ(simulator_.Command("event 9 1 area=2"), "");
    Stream stream = Stream::Tcp(port_);
    auto chunk = BuildEventBufferRequest(MessageFraming::kTcp, 1, 2000, 0, 40);
    ASSERT_TRUE(Exchange(stream, *chunk));
    EXPECT_EQ(chunk->GetWord(0), 9);
    EXPECT_EQ(chunk->GetWord(4), kEventEndMark);
    auto first = BuildEventBufferRequest(MessageFraming::kTcp, 1, 1000, 0, 4);
    ASSERT_TRUE(Exchange(stream, *first));
    EXPECT_EQ(first->GetWord(0), kEventEndMark);
    EXPECT_EQ(simulator_.Command("events area=2"),
              "area 2 base=2000 size=40 records=1 capacity=9 overrun=0\n");
}

// --- RTU over a pseudo-terminal pair -------------------------------------------------------

class PlcsimRtuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::HaveProgram("socat")) {
            GTEST_SKIP() << "socat is not installed: RTU peer tests skipped";
        }
        simulatorSide_ = simulator_.Directory() + "/plc";
        clientSide_ = simulator_.Directory() + "/master";
        ASSERT_TRUE(pty_.Start(simulatorSide_, clientSide_));
        std::string error;
        ASSERT_TRUE(simulator_.Start({"--rtu", simulatorSide_, "--baud", "19200", "--parity",
                                      "even", "--unit", "3", "--holding", "0=42"},
                                     error))
            << error;
    }

    void TearDown() override {
        simulator_.Stop();
        pty_.Stop();
    }

    PlcsimProcess simulator_;
    test::PtyPair pty_;
    std::string simulatorSide_;
    std::string clientSide_;
};

TEST_F(PlcsimRtuTest, LibmodbusReadsAndWrites) {
    modbus_t* context = modbus_new_rtu(clientSide_.c_str(), 19200, 'E', 8, 1);
    ASSERT_NE(context, nullptr);
    modbus_set_slave(context, 3);
    modbus_set_response_timeout(context, 3, 0);
    ASSERT_EQ(modbus_connect(context), 0);
    std::uint16_t words[2] = {};
    EXPECT_EQ(modbus_read_registers(context, 0, 2, words), 2);
    EXPECT_EQ(words[0], 42);
    EXPECT_EQ(modbus_write_register(context, 1, 0xBEEF), 1);
    EXPECT_EQ(modbus_read_registers(context, 0, 2, words), 2);
    EXPECT_EQ(words[1], 0xBEEF);
    EXPECT_EQ(modbus_read_registers(context, 5000, 1, words), -1);
    EXPECT_EQ(errno, EMBXILADD);
    modbus_close(context);
    modbus_free(context);
}

TEST_F(PlcsimRtuTest, FramingCodeExchangesAndBroadcastGetsNoAnswer) {
    Stream line = Stream::Serial(clientSide_);
    ASSERT_TRUE(line.Open());
    auto read = BuildReadRequest(MessageFraming::kRtu, 3, ReadArea::kHoldingRegister, 0, 1);
    ASSERT_TRUE(Exchange(line, *read));
    ASSERT_TRUE(read->IsValid());
    EXPECT_EQ(read->GetWord(0), 42);

    // Another slave's request is not answered.
    auto other = BuildDiagnosticRequest(MessageFraming::kRtu, 4);
    ASSERT_TRUE(line.Send(other->Frame()));
    EXPECT_TRUE(line.ReadOnce(300).empty());

    LocalTime local;
    local.year = 2031;
    local.month = 1;
    local.day = 2;
    local.hour = 3;
    auto sync = BuildTimeSyncRequest(MessageFraming::kRtu, local);
    ASSERT_TRUE(line.Send(sync->Frame()));
    EXPECT_TRUE(line.ReadOnce(300).empty());
    EXPECT_EQ(simulator_.ReportText("timesync.last"), "2031-01-02 03:00:00.000");
}

TEST_F(PlcsimRtuTest, CorruptedFrameIsDroppedAndTheLineRecovers) {
    Stream line = Stream::Serial(clientSide_);
    auto bad = BuildReadRequest(MessageFraming::kRtu, 3, ReadArea::kHoldingRegister, 0, 1);
    Bytes corrupted(bad->Frame().begin(), bad->Frame().end());
    corrupted.back() ^= 0xFF;
    ASSERT_TRUE(line.Send(corrupted));
    EXPECT_TRUE(line.ReadOnce(300).empty());
    EXPECT_EQ(simulator_.ReportValue("ch1.bad_frames"), 1);

    auto good = BuildReadRequest(MessageFraming::kRtu, 3, ReadArea::kHoldingRegister, 0, 1);
    ASSERT_TRUE(Exchange(line, *good));
    EXPECT_TRUE(good->IsValid());
}

}  // namespace
}  // namespace velk

#include "tools/plcsim/plc_simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "modbus/modbus_requests.h"
#include "platform/linux/termios_speed.h"
#include "tools/plcsim/command_interpreter.h"
#include "tools/plcsim/local_now.h"

namespace velk::plcsim {
namespace {

volatile std::sig_atomic_t gQuitRequested = 0;

// A serial frame that stops short for this long is over.
constexpr auto kSerialIdleGap = std::chrono::milliseconds(50);
constexpr std::uint8_t kGatewayTargetFailed = 0x0B;

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK); }

// Writes everything, waiting briefly when the peer's window is full; false on error.
bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count, bool socket) {
    while (count > 0) {
        const ssize_t written =
            socket ? send(fd, bytes, count, MSG_NOSIGNAL) : write(fd, bytes, count);
        if (written > 0) {
            bytes += written;
            count -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            pollfd wait = {fd, POLLOUT, 0};
            if (poll(&wait, 1, 1000) <= 0) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

std::string FramingName(MessageFraming framing) {
    switch (framing) {
        case MessageFraming::kTcp:
            return "tcp";
        case MessageFraming::kRtu:
            return "rtu";
        case MessageFraming::kAscii:
            break;
    }
    return "ascii";
}

}  // namespace

PlcSimulator::PlcSimulator(SimulatorOptions options)
    : options_(std::move(options)),
      image_(options_.imageSize),
      events_(image_, options_.deviceType, options_.eventStack),
      slave_(image_, options_.unit),
      demo_(options_.wordSwap) {
    for (const ChannelOption& option : options_.channels) {
        Channel channel;
        channel.option = option;
        channels_.push_back(channel);
    }
}

PlcSimulator::~PlcSimulator() {
    for (Channel& channel : channels_) {
        if (channel.listenFd >= 0) {
            close(channel.listenFd);
        }
    }
    for (Connection& connection : connections_) {
        close(connection.fd);
    }
    for (ControlClient& client : controlClients_) {
        if (client.inFd > 2) {
            close(client.inFd);
        }
    }
    if (controlListenFd_ >= 0) {
        close(controlListenFd_);
        unlink(options_.controlPath.c_str());
    }
}

void PlcSimulator::RequestQuit() { gQuitRequested = 1; }

void PlcSimulator::Write(int fd, const std::string& text) const {
    WriteAll(fd, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), fd > 2);
}

void PlcSimulator::Log(const std::string& text) const {
    if (!options_.quiet) {
        Write(STDOUT_FILENO, "plcsim: " + text + "\n");
    }
}

bool PlcSimulator::Start(std::string& error) {
    for (const Preset& preset : options_.presets) {
        bool stored = false;
        switch (preset.table) {
            case 'h':
                stored = image_.SetWord(Table::kHolding, preset.address, preset.value);
                break;
            case 'i':
                stored = image_.SetWord(Table::kInput, preset.address, preset.value);
                break;
            case 'c':
                stored = image_.SetBit(Table::kCoil, preset.address, preset.value != 0);
                break;
            default:
                stored = image_.SetBit(Table::kDiscrete, preset.address, preset.value != 0);
        }
        if (!stored) {
            error = "preset address " + std::to_string(preset.address) + " outside the image";
            return false;
        }
    }
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const bool opened = channels_[i].option.framing == MessageFraming::kTcp
                                ? OpenListener(channels_[i], error)
                                : OpenSerial(static_cast<int>(i) + 1, error);
        if (!opened) {
            return false;
        }
    }
    if (!options_.controlPath.empty() && !OpenControl(error)) {
        return false;
    }
    if (options_.readStdin) {
        controlClients_.push_back({STDIN_FILENO, STDOUT_FILENO, {}});
    }
    std::signal(SIGPIPE, SIG_IGN);
    nextDemoStep_ = Clock::now();
    std::istringstream described(DescribeChannels());
    for (std::string line; std::getline(described, line);) {
        Log(line);
    }
    for (int area = 0; area < ControllerEventBuffer::kAreas; ++area) {
        const EventBufferLocation location = events_.Location(area);
        if (!image_.Contains(location.base, location.size)) {
            Log("warning: the event buffer of master " + std::to_string(area + 1) +
                " lies outside the image (see --size)");
        }
    }
    Log("ready");
    return true;
}

bool PlcSimulator::OpenListener(Channel& channel, std::string& error) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(channel.option.port);
    if (inet_pton(AF_INET, channel.option.host.c_str(), &address.sin_addr) != 1) {
        close(fd);
        error = "not an IPv4 address: " + channel.option.host;
        return false;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 8) != 0) {
        error = "cannot listen on " + channel.option.host + ":" +
                std::to_string(channel.option.port) + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    // A port picked by the system is kept, so that a restored channel listens there again.
    channel.option.port = ntohs(address.sin_port);
    SetNonBlocking(fd);
    channel.listenFd = fd;
    return true;
}

bool PlcSimulator::OpenSerial(int channelIndex, std::string& error) {
    const ChannelOption& option = channels_[channelIndex - 1].option;
    const int fd = open(option.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot open " + option.device + ": " + std::strerror(errno);
        return false;
    }
    termios settings{};
    if (tcgetattr(fd, &settings) == 0) {
        cfmakeraw(&settings);
        const speed_t speed = TermiosSpeed(options_.baud);
        if (speed == B0) {
            close(fd);
            error = "unsupported baud rate " + std::to_string(options_.baud);
            return false;
        }
        cfsetispeed(&settings, speed);
        cfsetospeed(&settings, speed);
        const int dataBits = options_.dataBits != 0                   ? options_.dataBits
                             : option.framing == MessageFraming::kRtu ? 8
                                                                      : 7;
        settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        settings.c_cflag |= (dataBits == 7 ? CS7 : CS8) | CLOCAL | CREAD;
        if (options_.parity != 'N') {
            settings.c_cflag |= PARENB | (options_.parity == 'O' ? PARODD : 0);
        }
        if (options_.stopBits == 2) {
            settings.c_cflag |= CSTOPB;
        }
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &settings);
    }
    Connection connection{
        nextConnectionId_++, fd, channelIndex, true, RequestAssembler(option.framing),
        Clock::now()};
    connections_.push_back(std::move(connection));
    return true;
}

bool PlcSimulator::OpenControl(std::string& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (options_.controlPath.size() >= sizeof address.sun_path) {
        error = "control socket path too long";
        return false;
    }
    std::strcpy(address.sun_path, options_.controlPath.c_str());
    unlink(options_.controlPath.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 4) != 0) {
        error = "cannot open control socket " + options_.controlPath + ": " + std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    SetNonBlocking(fd);
    controlListenFd_ = fd;
    return true;
}

std::string PlcSimulator::DescribeChannels() const {
    std::ostringstream text;
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const Channel& channel = channels_[i];
        text << "channel " << i + 1 << " " << FramingName(channel.option.framing) << " ";
        if (channel.option.framing == MessageFraming::kTcp) {
            text << channel.option.host << ":" << channel.option.port;
        } else {
            text << channel.option.device;
        }
        text << (channel.cut ? " cut" : "") << "\n";
    }
    return text.str();
}

std::string PlcSimulator::TransportReport() const {
    std::ostringstream text;
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        const auto open =
            std::count_if(connections_.begin(), connections_.end(),
                          [&](const Connection& c) { return c.channel == number && !c.serial; });
        text << "ch" << number << ".accepted=" << channels_[i].accepted << "\n";
        text << "ch" << number << ".connections=" << open << "\n";
        text << "ch" << number << ".bad_frames=" << channels_[i].dropped << "\n";
        text << "ch" << number << ".cut=" << (channels_[i].cut ? 1 : 0) << "\n";
    }
    if (!lastRequest_.empty()) {
        text << lastRequest_ << "\n";
    }
    return text.str();
}

void PlcSimulator::ResetTransportCounters() {
    for (Channel& channel : channels_) {
        channel.accepted = 0;
        channel.dropped = 0;
    }
}

bool PlcSimulator::CutChannel(int number) {
    Channel& channel = channels_[number - 1];
    channel.cut = true;
    if (channel.option.framing == MessageFraming::kTcp) {
        if (channel.listenFd >= 0) {
            close(channel.listenFd);
            channel.listenFd = -1;
        }
        CloseConnections(number);
    }
    Log("channel " + std::to_string(number) + " cut");
    return true;
}

bool PlcSimulator::RestoreChannel(int number, std::string& error) {
    Channel& channel = channels_[number - 1];
    if (channel.option.framing == MessageFraming::kTcp && channel.listenFd < 0 &&
        !OpenListener(channel, error)) {
        return false;
    }
    channel.cut = false;
    Log("channel " + std::to_string(number) + " restored");
    return true;
}

void PlcSimulator::CloseConnections(int number) {
    std::vector<std::uint64_t> ids;
    for (const Connection& connection : connections_) {
        if (connection.channel == number && !connection.serial) {
            ids.push_back(connection.id);
        }
    }
    for (std::uint64_t id : ids) {
        CloseConnection(id);
    }
}

PlcSimulator::Connection* PlcSimulator::FindConnection(std::uint64_t id) {
    for (Connection& connection : connections_) {
        if (connection.id == id) {
            return &connection;
        }
    }
    return nullptr;
}

void PlcSimulator::CloseConnection(std::uint64_t id) {
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        if (it->id == id) {
            close(it->fd);
            connections_.erase(it);
            break;
        }
    }
    std::erase_if(pending_, [id](const PendingSend& send) { return send.connectionId == id; });
}

void PlcSimulator::AcceptTcp(int index) {
    Channel& channel = channels_[index];
    const int fd = accept(channel.listenFd, nullptr, nullptr);
    if (fd < 0) {
        return;
    }
    const int one = 1;
    // Without Nagle each part of a split answer leaves as a segment of its own.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    SetNonBlocking(fd);
    ++channel.accepted;
    connections_.push_back({nextConnectionId_++, fd, index + 1, false,
                            RequestAssembler(MessageFraming::kTcp), Clock::now()});
}

void PlcSimulator::AcceptControl() {
    const int fd = accept(controlListenFd_, nullptr, nullptr);
    if (fd >= 0) {
        SetNonBlocking(fd);
        controlClients_.push_back({fd, fd, {}});
    }
}

void PlcSimulator::ReadConnection(Connection& connection) {
    std::uint8_t buffer[4096];
    const ssize_t count = read(connection.fd, buffer, sizeof buffer);
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (count <= 0) {
        if (connection.serial) {
            Log("serial line of channel " + std::to_string(connection.channel) + " closed");
        }
        CloseConnection(connection.id);
        return;
    }
    Channel& channel = channels_[connection.channel - 1];
    if (channel.cut) {
        return;  // a cut line hears nothing
    }
    connection.lastByte = Clock::now();
    connection.assembler.Feed({buffer, static_cast<std::size_t>(count)});
    const std::uint64_t id = connection.id;
    while (Connection* current = FindConnection(id)) {
        const std::size_t droppedBefore = current->assembler.Dropped();
        auto request = current->assembler.Next();
        channel.dropped += current->assembler.Dropped() - droppedBefore;
        if (current->assembler.Broken()) {
            CloseConnection(id);
            return;
        }
        if (!request) {
            return;
        }
        ServeRequest(*current, *request);
    }
}

void PlcSimulator::ServeRequest(Connection& connection, const DecodedRequest& request) {
    Channel& channel = channels_[connection.channel - 1];
    const MessageFraming framing = channel.option.framing;
    const bool tcp = framing == MessageFraming::kTcp;
    std::ostringstream last;
    last << "last.request=ch" << connection.channel << " unit " << int{request.unit} << " pdu";
    for (std::uint8_t byte : request.pdu) {
        char pair[4];
        std::snprintf(pair, sizeof pair, " %02X", byte);
        last << pair;
    }
    lastRequest_ = last.str();
    std::vector<std::uint8_t> answer;
    if (!slave_.Accepts(request.unit, tcp)) {
        if (!tcp || request.pdu.empty()) {
            return;  // another slave on the line
        }
        answer = ModbusSlave::ExceptionPdu(request.pdu[0], kGatewayTargetFailed);
    } else {
        auto handled = slave_.Handle(request.pdu, connection.channel);
        if (!handled) {
            return;
        }
        answer = std::move(*handled);
        if (request.pdu[0] == function_code::kTimeSync && slave_.LastTimeSync()) {
            const LocalTime& t = slave_.LastTimeSync()->time;
            char text[64];
            std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month,
                          t.day, t.hour, t.minute, t.second, t.millisecond);
            Log(std::string("time sync ") + text + " on channel " +
                std::to_string(connection.channel));
        }
    }
    FaultPlan& faults = channel.faults;
    if (faults.silent) {
        return;
    }
    if (tcp && FaultPlan::Take(faults.hangupCount)) {
        CloseConnection(connection.id);
        return;
    }
    if (!tcp && request.unit == kBroadcastAddress) {
        return;  // broadcasts get no answer on a serial line
    }
    if (FaultPlan::Take(faults.exceptionCount)) {
        answer = ModbusSlave::ExceptionPdu(request.pdu[0], faults.exceptionCode);
    }
    std::vector<std::uint8_t> frame =
        EncodeAnswer(framing, request.transactionId, request.unit, answer);
    if (FaultPlan::Take(faults.lengthCount)) {
        if (faults.lengthDelta < 0) {
            frame.resize(frame.size() - std::min<std::size_t>(frame.size(), -faults.lengthDelta));
        } else {
            frame.insert(frame.end(), static_cast<std::size_t>(faults.lengthDelta), 0);
        }
    }
    const auto due = Clock::now() + std::chrono::milliseconds(faults.delayMs);
    const auto schedule = [&](std::vector<std::uint8_t> bytes, Clock::time_point when) {
        auto position = std::find_if(pending_.begin(), pending_.end(),
                                     [&](const PendingSend& send) { return send.due > when; });
        pending_.insert(position, PendingSend{connection.id, std::move(bytes), when});
    };
    if (frame.size() > 1 && FaultPlan::Take(faults.splitCount)) {
        // Parts as even as they come, the longer ones first; at most one byte each.
        const std::size_t parts =
            std::min(frame.size(), static_cast<std::size_t>(std::max(2, faults.splitParts)));
        std::size_t at = 0;
        for (std::size_t part = 0; part < parts; ++part) {
            const std::size_t size = frame.size() / parts + (part < frame.size() % parts ? 1 : 0);
            const auto from = frame.begin() + static_cast<std::ptrdiff_t>(at);
            schedule({from, from + static_cast<std::ptrdiff_t>(size)},
                     due + std::chrono::milliseconds(faults.splitGapMs) * static_cast<int>(part));
            at += size;
        }
    } else {
        schedule(std::move(frame), due);
    }
}

void PlcSimulator::SendDue() {
    const auto now = Clock::now();
    while (!pending_.empty() && pending_.front().due <= now) {
        PendingSend send = std::move(pending_.front());
        pending_.pop_front();
        Connection* connection = FindConnection(send.connectionId);
        if (connection == nullptr) {
            continue;
        }
        if (!WriteAll(connection->fd, send.bytes.data(), send.bytes.size(), !connection->serial) &&
            !connection->serial) {
            CloseConnection(send.connectionId);
        }
    }
}

void PlcSimulator::ReadControl(ControlClient& client) {
    char buffer[1024];
    const ssize_t count = read(client.inFd, buffer, sizeof buffer);
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (count <= 0) {
        client.inFd = -1;  // removed by the loop
        return;
    }
    client.line.append(buffer, static_cast<std::size_t>(count));
    std::size_t end;
    while ((end = client.line.find('\n')) != std::string::npos) {
        std::string line = client.line.substr(0, end);
        client.line.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        Write(client.outFd, ExecuteCommand(*this, line));
    }
}

int PlcSimulator::PollTimeoutMs() const {
    auto next = Clock::now() + std::chrono::milliseconds(200);
    if (!pending_.empty()) {
        next = std::min(next, pending_.front().due);
    }
    if (options_.demo) {
        next = std::min(next, nextDemoStep_);
    }
    for (const Connection& connection : connections_) {
        if (connection.serial && connection.assembler.HasPartial()) {
            next = std::min(next, connection.lastByte + kSerialIdleGap);
        }
    }
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, 200));
}

int PlcSimulator::Run() {
    enum class Source { kListener, kConnection, kControlListener, kControlClient };
    struct Target {
        Source source;
        std::uint64_t key;  // channel index, connection id or client position
    };
    while (!quit_ && gQuitRequested == 0) {
        std::vector<pollfd> fds;
        std::vector<Target> targets;
        for (std::size_t i = 0; i < channels_.size(); ++i) {
            if (channels_[i].listenFd >= 0) {
                fds.push_back({channels_[i].listenFd, POLLIN, 0});
                targets.push_back({Source::kListener, i});
            }
        }
        for (const Connection& connection : connections_) {
            fds.push_back({connection.fd, POLLIN, 0});
            targets.push_back({Source::kConnection, connection.id});
        }
        if (controlListenFd_ >= 0) {
            fds.push_back({controlListenFd_, POLLIN, 0});
            targets.push_back({Source::kControlListener, 0});
        }
        std::uint64_t position = 0;
        for (const ControlClient& client : controlClients_) {
            fds.push_back({client.inFd, POLLIN, 0});
            targets.push_back({Source::kControlClient, position++});
        }
        const int ready = poll(fds.data(), fds.size(), PollTimeoutMs());
        if (ready < 0 && errno != EINTR) {
            Log(std::string("poll: ") + std::strerror(errno));
            return 1;
        }
        for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            const Target target = targets[i];
            switch (target.source) {
                case Source::kListener:
                    if (channels_[target.key].listenFd == fds[i].fd) {
                        AcceptTcp(static_cast<int>(target.key));
                    }
                    break;
                case Source::kConnection:
                    if (Connection* connection = FindConnection(target.key)) {
                        ReadConnection(*connection);
                    }
                    break;
                case Source::kControlListener:
                    AcceptControl();
                    break;
                case Source::kControlClient: {
                    auto client =
                        std::next(controlClients_.begin(), static_cast<std::ptrdiff_t>(target.key));
                    if (client->inFd == fds[i].fd) {
                        ReadControl(*client);
                    }
                    break;
                }
            }
        }
        for (auto it = controlClients_.begin(); it != controlClients_.end();) {
            if (it->inFd < 0) {
                if (it->outFd > 2) {
                    close(it->outFd);
                }
                it = controlClients_.erase(it);
            } else {
                ++it;
            }
        }
        const auto now = Clock::now();
        std::vector<std::uint64_t> idle;
        for (const Connection& connection : connections_) {
            if (connection.serial && connection.assembler.HasPartial() &&
                now - connection.lastByte >= kSerialIdleGap) {
                idle.push_back(connection.id);
            }
        }
        for (std::uint64_t id : idle) {
            Connection* connection = FindConnection(id);
            const std::size_t droppedBefore = connection->assembler.Dropped();
            auto request = connection->assembler.Idle();
            channels_[connection->channel - 1].dropped +=
                connection->assembler.Dropped() - droppedBefore;
            if (request) {
                ServeRequest(*connection, *request);
            }
        }
        SendDue();
        if (options_.demo && now >= nextDemoStep_) {
            demo_.Step(image_, events_, LocalNow());
            nextDemoStep_ = now + std::chrono::milliseconds(DemoDriver::kStepMs);
        }
    }
    Log("stopped");
    return 0;
}

}  // namespace velk::plcsim

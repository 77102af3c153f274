#include "platform/linux/termios_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/linux/termios_speed.h"

namespace velk {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

TermiosSerialPort::~TermiosSerialPort() { Close(); }

bool TermiosSerialPort::Open(const std::string& devicePath, int& errorNumber) {
    Close();
    int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        errorNumber = errno;
        return false;
    }
    // One process owns a line: a line another process holds is refused.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        errorNumber = EBUSY;
        return false;
    }
    // Refused by devices that do not know it, which is no reason to give up the port.
    ::ioctl(fd, TIOCEXCL);
    fd_ = fd;
    return true;
}

serial_rs485 KernelRs485(const Rs485Settings& settings) {
    serial_rs485 mode{};
    if (!settings.enabled) return mode;
    mode.flags = SER_RS485_ENABLED;
    if (settings.rtsOnSend) mode.flags |= SER_RS485_RTS_ON_SEND;
    if (settings.rtsAfterSend) mode.flags |= SER_RS485_RTS_AFTER_SEND;
    mode.delay_rts_before_send = settings.delayBeforeSendMs;
    mode.delay_rts_after_send = settings.delayAfterSendMs;
    return mode;
}

bool TermiosSerialPort::SetRs485(serial_rs485& mode) {
    return ::ioctl(fd_, TIOCSRS485, &mode) == 0;
}

bool TermiosSerialPort::Configure(const SerialLineSettings& settings) {
    if (fd_ < 0) return false;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return false;
    speed_t speed = TermiosSpeed(settings.baudRate);
    if (speed == B0) return false;
    // Binary mode: no line editing, no character translation, no echo, no signals.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | (settings.dataBits == 7 ? CS7 : CS8);
    if (settings.parity != 0) {
        tio.c_cflag |= PARENB;
        if (settings.parity == 1) tio.c_cflag |= PARODD;
        tio.c_iflag |= INPCK;
    }
    if (settings.stopBits == 2) tio.c_cflag |= CSTOPB;
    if (settings.flowControl == 1) tio.c_cflag |= CRTSCTS;
    // XON/XOFF only when asked for: in binary RTU frames 0x11 and 0x13 are data.
    if (settings.flowControl == 2) tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return false;
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
    if (settings.rs485.enabled) {
        // The driver switches RTS around each frame; a line without RS-485 mode refuses it.
        serial_rs485 mode = KernelRs485(settings.rs485);
        return SetRs485(mode);
    }
    if (settings.flowControl != 1) {
        // Without hardware handshake RTS is held inactive; lines without modem signals (pseudo
        // terminals) refuse the request, which changes nothing for them.
        int rts = TIOCM_RTS;
        ::ioctl(fd_, TIOCMBIC, &rts);
    }
    return true;
}

bool TermiosSerialPort::SetTimeouts(std::uint32_t readConstantMs, std::uint32_t readPerByteMs,
                                    std::uint32_t writeConstantMs) {
    if (fd_ < 0) return false;
    readConstantMs_ = readConstantMs;
    readPerByteMs_ = readPerByteMs;
    writeConstantMs_ = writeConstantMs;
    return true;
}

int TermiosSerialPort::Write(std::span<const std::uint8_t> bytes, int& errorNumber) {
    if (fd_ < 0) {
        errorNumber = EBADF;
        return -1;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(writeConstantMs_);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            errorNumber = errno;
            return -1;
        }
        pollfd p{fd_, POLLOUT, 0};
        int left = RemainingMs(deadline);
        if (left == 0 || ::poll(&p, 1, left) <= 0) break;  // write time-out: a short count
    }
    return static_cast<int>(done);
}

int TermiosSerialPort::Read(std::span<std::uint8_t> buffer, int& errorNumber) {
    if (fd_ < 0) {
        errorNumber = EBADF;
        return -1;
    }
    auto total = std::chrono::milliseconds(
        readConstantMs_ + readPerByteMs_ * static_cast<std::uint32_t>(buffer.size()));
    auto deadline = Clock::now() + total;
    std::size_t got = 0;
    while (got < buffer.size()) {
        ssize_t n = ::read(fd_, buffer.data() + got, buffer.size() - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            errorNumber = errno;
            return -1;
        }
        int left = RemainingMs(deadline);
        if (left == 0) break;
        pollfd p{fd_, POLLIN, 0};
        int r = ::poll(&p, 1, left);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            errorNumber = errno;
            return -1;
        }
        if (r == 0) break;
        // A pseudo terminal whose other side is gone reports a hang-up and reads nothing;
        // that is a line without an answer, not a fault to spin on.
        if ((p.revents & POLLIN) == 0) break;
    }
    return static_cast<int>(got);
}

void TermiosSerialPort::ClearErrors() {
    // termios keeps no sticky error state that blocks further reads or writes; parity and
    // framing errors only drop the damaged bytes (INPCK without PARMRK).
}

void TermiosSerialPort::Purge() {
    if (fd_ >= 0) ::tcflush(fd_, TCIOFLUSH);
}

void TermiosSerialPort::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::unique_ptr<ISerialPort> TermiosSerialPortFactory::CreateSerialPort() {
    return std::make_unique<TermiosSerialPort>();
}

}  // namespace velk

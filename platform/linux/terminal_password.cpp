#include "platform/linux/terminal_password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace velk {
namespace {

// One line from a descriptor, read a byte at a time so that nothing past it is consumed.
std::optional<std::string> ReadLine(int fd) {
    std::string line;
    char c = 0;
    bool any = false;
    for (;;) {
        const ssize_t n = read(fd, &c, 1);
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        any = true;
        if (c == '\n') break;
        line.push_back(c);
    }
    if (!any) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

std::optional<std::string> ReadPasswordFromTerminal(const std::string& prompt) {
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    termios saved{};
    if (tcgetattr(fd, &saved) != 0) {
        close(fd);
        return std::nullopt;
    }
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    (void)!write(fd, prompt.data(), prompt.size());
    if (tcsetattr(fd, TCSAFLUSH, &quiet) != 0) {
        close(fd);
        return std::nullopt;
    }
    std::optional<std::string> line = ReadLine(fd);
    tcsetattr(fd, TCSAFLUSH, &saved);
    close(fd);
    return line;
}

std::optional<std::string> ReadPasswordFromStdin() { return ReadLine(STDIN_FILENO); }

}  // namespace velk

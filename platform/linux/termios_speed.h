#pragma once
// The termios speed constant of a baud rate; B0 for a rate the serial lines do not offer.
#include <termios.h>

#include <cstdint>

namespace velk {

inline speed_t TermiosSpeed(std::uint32_t baudRate) {
    switch (baudRate) {
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

}  // namespace velk

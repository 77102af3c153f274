// The kernel's RS-485 mode of a termios line: the flags and delays handed to TIOCSRS485, and
// the request issued when a line is configured with it (a pseudo terminal refuses it).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/linux/termios_serial_port.h"

namespace velk {
namespace {

TEST(TermiosRs485, TheKernelModeCarriesTheConfiguredFlagsAndDelays) {
    struct Case {
        Rs485Settings settings;
        std::uint32_t flags;
    };
    const Case cases[] = {
        {{false, true, false, 5, 6}, 0},
        {{true, true, false, 0, 0}, SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND},
        {{true, false, true, 0, 0}, SER_RS485_ENABLED | SER_RS485_RTS_AFTER_SEND},
        {{true, false, false, 3, 7}, SER_RS485_ENABLED},
    };
    for (const Case& c : cases) {
        const serial_rs485 mode = KernelRs485(c.settings);
        EXPECT_EQ(mode.flags, c.flags);
        EXPECT_EQ(mode.delay_rts_before_send,
                  c.settings.enabled ? c.settings.delayBeforeSendMs : 0);
        EXPECT_EQ(mode.delay_rts_after_send, c.settings.enabled ? c.settings.delayAfterSendMs : 0);
    }
}

TEST(TermiosRs485, ConfiguringRs485IssuesTheRequestThatALineWithoutItRefuses) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string path = ptsname(master);
    TermiosSerialPort line;
    int error = 0;
    ASSERT_TRUE(line.Open(path, error)) << error;
    SerialLineSettings settings;
    settings.baudRate = 19200;
    EXPECT_TRUE(line.Configure(settings));
    settings.rs485.enabled = true;
    // A pseudo terminal has no RS-485 mode: the line is refused rather than run without it.
    EXPECT_FALSE(line.Configure(settings));
    line.Close();
    close(master);
}

}  // namespace
}  // namespace velk

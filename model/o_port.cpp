#include "model/o_port.h"

#include <iterator>

namespace velk {

OPort::OPort(int number) : name("COM" + std::to_string(number)) {}

bool OPort::ApplyRs485Values(bool on, bool rtsOnSend, bool rtsAfterSend, int delayBeforeSendMs,
                             int delayAfterSendMs, bool echo) {
    constexpr int kMostDelay = 1000;
    if (delayBeforeSendMs < 0 || delayBeforeSendMs > kMostDelay || delayAfterSendMs < 0 ||
        delayAfterSendMs > kMostDelay)
        return false;
    rs485 = on ? 1 : 0;
    rs485RtsOnSend = rtsOnSend ? 1 : 0;
    rs485RtsAfterSend = rtsAfterSend ? 1 : 0;
    rs485DelayBeforeSend = delayBeforeSendMs;
    rs485DelayAfterSend = delayAfterSendMs;
    echoSuppression = echo ? 1 : 0;
    settingsChanged = true;
    return true;
}

bool OPort::ApplyDialogValues(int baudIndex, std::uint16_t newDataBits, std::uint16_t newStopBits,
                              std::uint16_t newParity, std::uint16_t newFlowControl) {
    if (baudIndex < 0 || baudIndex >= static_cast<int>(std::size(kPortBaudRates))) return false;
    if (newDataBits != 7 && newDataBits != 8) return false;
    if (newStopBits != 0 && newStopBits != 2) return false;
    if (newParity > 2 || newFlowControl > 2) return false;
    baudRate = kPortBaudRates[baudIndex];
    dataBits = newDataBits;
    stopBits = newStopBits;
    parity = newParity;
    flowControl = newFlowControl;
    enabled = 1;
    settingsChanged = true;
    return true;
}

}  // namespace velk

#include "model/o_port.h"

#include <iterator>

namespace velk {

OPort::OPort(int number) : name("COM" + std::to_string(number)) {}

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

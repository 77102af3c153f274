#include "modbus/device_exchange.h"

#include "modbus/active_channel.h"
#include "model/o_device.h"
#include "model/o_port.h"

namespace velk {

MessageFraming ActiveChannelFraming(const ODevice& device) {
    const OPort* port =
        ActiveChannelOf(device) == 0 ? device.params.primaryPort : device.params.secondaryPort;
    // A serial device server passes RTU frames between its TCP connection and its line.
    if (device.params.modbusTcp != 0 && device.params.rtuOverTcp != 0) return MessageFraming::kRtu;
    return ChooseFraming(device.params.modbusTcp != 0, port ? port->dataBits : 8);
}

}  // namespace velk

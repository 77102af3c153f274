#pragma once
// The server's acquisition of controller data, wired over the real serial lines, sockets
// and host routes: the channels of every device and their supervision, the tag scan engine
// with the live monitor and the tag I/O of the DA groups, and the devices' event-scan and
// diagnostic threads. The live monitor and the tag I/O end before the stack they read
// through, the lines after it.
#include <chrono>
#include <functional>
#include <vector>

#include "modbus/acquisition_stack.h"
#include "modbus/device_acquisition_control.h"
#include "modbus/device_monitor_model.h"
#include "modbus/event_buffer_layout.h"
#include "modbus/serial_channel_set.h"
#include "model/document_services.h"
#include "model/live_monitor_thread.h"
#include "opc/scan_engine_tag_io.h"
#include "platform/linux/netlink_route_table.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "platform/linux/termios_serial_port.h"

namespace velk {

class CDoc;
class IClock;
class IEventPoster;
class ISettingsStore;

struct AcquisitionServices {
    IClock& clock;
    IEventPoster& poster;          // alarm records to the AE event thread
    IClientCounter& clients;       // the live monitor counts as a client while it runs
    ISettingsStore* machineStore;  // serial device paths, TCP port overrides
    std::function<void()> reloadCommFailCountdown;
    std::function<CDoc*()> document;                   // null before the document exists
    std::function<EventBufferSettings()> eventBuffer;  // from the "EventStack" settings
};

class AcquisitionHost {
  public:
    explicit AcquisitionHost(AcquisitionServices services);
    AcquisitionHost(const AcquisitionHost&) = delete;
    AcquisitionHost& operator=(const AcquisitionHost&) = delete;

    IDeviceAcquisition& Devices() { return stack_.Acquisition(); }
    IDeviceLifecycle& Lifecycle() { return stack_.Acquisition(); }
    IMonitorThread& Monitor() { return monitor_; }
    ITagIO& TagIO() { return tagIO_; }
    // Waits until the deadline for the device threads to end and the exchanges to be off
    // the wire; false when one still runs then.
    bool WaitIdle(std::chrono::steady_clock::time_point deadline) {
        return stack_.Acquisition().WaitIdle(deadline);
    }

    // The Device Monitor's data of every device of the document, in list order.
    std::vector<DeviceMonitorModel> DeviceMonitor();

  private:
    std::function<CDoc*()> document_;
    TermiosSerialPortFactory serialPorts_;
    PosixTcpSockets sockets_;
    NetlinkRouteTable routes_;
    SerialChannelSet serial_;
    AcquisitionStack stack_;
    ScanEngineTagIO tagIO_;
    LiveMonitorThread monitor_;
};

// The event buffer placement of "General" devices from the "EventStack" settings, whose
// size is kept in registers (4 per record).
EventBufferSettings EventBufferFromSettings(std::uint16_t master1, std::uint16_t master2,
                                            std::uint16_t sizeInRegisters);

}  // namespace velk

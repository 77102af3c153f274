#include "model/o_device.h"

#include <algorithm>
#include <mutex>

#include "model/o_port.h"

namespace velk {

ODevice::ODevice(FileTime created) : creationTime(created) { name = "Device"; }

ODeviceAlarm* ODevice::AlarmOfCode(std::uint16_t code) {
    if (code < 1 || code > communicationAlarms.size()) return nullptr;
    return &communicationAlarms[code - 1];
}

std::uint16_t ODevice::CodeOfAlarm(const ODeviceAlarm* alarm) const {
    for (std::size_t i = 0; i < communicationAlarms.size(); ++i)
        if (&communicationAlarms[i] == alarm) return static_cast<std::uint16_t>(i + 1);
    return 0;
}

void ODevice::BindPorts(const std::vector<OPort*>& ports) {
    for (OPort* port : ports) {
        if (port->name == params.primaryPortName) params.primaryPort = port;
        if (port->name == params.secondaryPortName) params.secondaryPort = port;
    }
}

namespace {

bool Before(const OModbusTag* a, const OModbusTag* b) {
    return a->locationKind < b->locationKind ||
           (a->locationKind == b->locationKind && a->address < b->address);
}

// Puts the tag in the list or takes it out; a listed tag whose location changed is sorted
// in again, one already in its place keeps it.
void Keep(OModbusTag* tag, TagList& list, bool wanted) {
    auto it = std::find(list.begin(), list.end(), tag);
    if (it != list.end()) {
        const bool inOrder = (it == list.begin() || !Before(tag, *(it - 1))) &&
                             (it + 1 == list.end() || !Before(*(it + 1), tag));
        if (wanted && inOrder) return;
        list.erase(it);
    }
    if (wanted) InsertSorted(tag, list);
}

}  // namespace

void ODevice::UpdateScanLists(OModbusTag* tag) {
    std::lock_guard<std::recursive_mutex> lock(Locks().tagData);
    Keep(tag, eventSignalScanList, tag->IsEventSignal());
    Keep(tag, alarmScanList, tag->HasEnabledAlarm());
}

void ODevice::RemoveFromScanLists(const OModbusTag* tag) {
    std::lock_guard<std::recursive_mutex> lock(Locks().tagData);
    RemoveFromList(tag, eventSignalScanList);
    RemoveFromList(tag, alarmScanList);
}

}  // namespace velk

#include "model/tag_sheet/copy_tag_dialog.h"

#include "model/o_modbus_tag.h"

namespace velk {

std::string CopyTagDescription(const OModbusTag& tag) {
    const bool scaled = tag.scaling && tag.scaling->conversion != 0;
    const bool alarmed = tag.alarm && tag.alarm->enableFlags != 0;
    return tag.GetLocationName() + " at " + tag.GetAddressText() +
           (scaled ? " with custom scaling" : " with no scaling") +
           (alarmed ? " with custom alarm" : " with no alarm");
}

CCopyTagDlg::CCopyTagDlg(const OModbusTag& received, const OModbusTag& existing)
    : firstLine(received.name + " already exists."),
      secondLine("Current tag is a " + CopyTagDescription(existing)),
      thirdLine("  New  tag  is a " + CopyTagDescription(received)),
      nameText(received.name) {}

}  // namespace velk

#pragma once
// The "Modbus" clipboard format: the tag list encoding of the configuration file, used by
// Cut, Copy and Paste and by dragging tags, also between two running instances.
#include <QMimeData>
#include <memory>
#include <vector>

#include "platform/clock.h"

namespace velk {
class OModbusTag;
}

namespace velk::gui {

inline constexpr const char* kModbusFormat = "Modbus";

std::unique_ptr<QMimeData> TagsToMime(const std::vector<const OModbusTag*>& tags);
bool OffersTags(const QMimeData* mime);
// The tags of the data; none when it holds no readable tag list. New tags are stamped now.
std::vector<std::unique_ptr<OModbusTag>> TagsFromMime(const QMimeData* mime, FileTime now);

}  // namespace velk::gui

#pragma once
// The live monitor's texts in the tag list: a value by its variant type with the quality's
// suffix, and the sort order of the list's columns with its three-click rule.
#include <cstdint>
#include <string>
#include <vector>

#include "model/variant.h"

namespace velk {

class OModbusTag;

// "%hd", "%ld", "%f", "%g " (trailing space), the text, "On"/"Off", "%hu", "%lu" or "?",
// then " (uncertain)" or " (bad)" by the quality class (quality & 0xC0).
std::string MonitorValueText(const Variant& value, std::uint16_t quality);

// The tag list's columns, in their order.
enum class TagColumn { Name, Type, Location, Description, Value, Timestamp };

// Which column the rows are sorted by. A click on a new header sorts by it ascending; a
// second click in a row on the same header reverses the order, a third sorts ascending
// again. Value and Timestamp do not sort.
class TagListOrder {
  public:
    // False when the column does not sort (the order is unchanged).
    bool Click(TagColumn column);
    bool Sorted() const { return sorted_; }
    TagColumn Column() const { return column_; }
    bool Descending() const { return descending_; }
    // Sorts the rows: Name, Location and Description by their text ignoring case, Type by
    // location kind, higher kind first; equal keys keep their list order.
    void Apply(std::vector<OModbusTag*>& rows) const;

  private:
    bool sorted_ = false;
    TagColumn column_ = TagColumn::Name;
    bool descending_ = false;
};

}  // namespace velk

#pragma once
// "Multiply Tag" without its window: the entries, the values it remembers between uses,
// and the making of a numbered series of tags from the selected one.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "model/tag_sheet/field_entry.h"

namespace velk {

class CDoc;
class OModbusTag;

inline constexpr const char* kMultiplyTagCaption = "Multiply Tag";

class CDuplicateTagDialog {
  public:
    enum Field { kFieldFirstNumber = 1, kFieldPlaces, kFieldFirstLocation, kFieldCount };

    // Fills in the base name, the first location (the one after the tag's) and the
    // description from the selected tag; the other entries keep their last values.
    void Open(const OModbusTag& selected);
    // OK: reads the entries; a refused one names the field and its message.
    std::optional<FieldError> ReadEntries();

    // Name and description of the series' tag i (0-based) from the entries as last read.
    std::string NameAt(std::uint32_t i) const;
    std::string DescriptionAt(std::uint32_t i) const;

    // Makes or updates the series in the selected tag's group: a tag of a generated name
    // that is there takes the new address, name and description; otherwise a copy of the
    // selected tag joins the group (one the group refuses is reported and skipped). The
    // document is then refreshed and marked modified. Returns the number of new tags.
    int Multiply(CDoc& document, OModbusTag& selected,
                 const std::function<void(const std::string&)>& showMessage) const;

    std::string baseName;
    std::string firstNumberText = "1";
    std::string placesText = "3";
    std::string firstLocationText;
    std::string countText = "100";

  private:
    std::string Numbered(const std::string& prefix, std::uint32_t i) const;

    std::string description_;
    std::uint32_t firstNumber_ = 1;
    std::int32_t places_ = 3;
    std::uint32_t firstLocation_ = 1;
    std::int32_t count_ = 100;
};

}  // namespace velk

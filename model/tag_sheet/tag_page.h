#pragma once
// Page "Connection" of the tag property sheet: name, location, data type, simulation and
// access rights of the tag itself.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/tag_sheet/sheet_page.h"

namespace velk {

class OModbusTag;

class TagPage final : public SheetPage {
  public:
    enum Field { kFieldAddress = 1, kFieldBytes = 2, kFieldBit = 3 };

    // Loads the page from the tag.
    explicit TagPage(OModbusTag& tag);

    std::optional<FieldError> ReadEntries() override;
    // Saving writes name, description, default display, location, simulation, address,
    // access rights, data type, size, byte order and register bit; the value is converted
    // by the sheet.
    void Transfer(bool save) override;
    void OnFirstDisplay() override;

    // The user picks a location kind (0 to 4) or a position of the "Data Type:" list.
    void OnLocationChosen(int kind);
    void OnDataTypeChosen(int position);

    // The entries of the "Data Type:" list: the eight register types, and a ninth for a
    // DOUBLE or STRING tag so that such a tag is shown and saved as what it is.
    std::vector<std::string> DataTypeEntries() const;
    // The type code and the size (registers; bytes for STRING) of the chosen list entry.
    std::uint16_t ChosenTypeCode() const;
    std::uint16_t ChosenSize() const;
    // Input and holding registers take the analog scaling and alarm pages.
    bool WantsAnalogPages() const;

    // Shown values.
    std::string name;
    std::string description;
    int locationKind = 0;
    std::string addressText;  // address + 1
    int dataTypePosition = 0;
    std::string bytesText;
    std::string defaultDisplay;
    int simulationKind = 0;
    bool readAccess = true;
    bool writeAccess = false;
    int byteOrder = 0;    // position of "Byte Order:", the order's code
    std::string bitText;  // "Bit:", empty for a tag that is no register bit
    // Control states the rules set.
    bool dataTypeEnabled = false;
    bool bytesEnabled = false;
    bool accessEnabled = false;
    bool byteOrderEnabled = false;
    bool bitEnabled = false;

  private:
    bool IsRegisterLocation() const;
    void ApplyLocationRule();
    void ApplyDataTypeRule();

    OModbusTag& tag_;
    std::uint16_t extraType_ = 0;  // DOUBLE or STRING when the tag has that type, else 0
    std::uint16_t extraSize_ = 0;  // that tag's size as loaded
    std::uint32_t enteredAddress_ = 1;
    std::int32_t enteredBytes_ = 0;
    std::int32_t enteredBit_ = -1;
};

// The list entries of "Location:" and "Simulation:".
const std::vector<std::string>& LocationEntries();
const std::vector<std::string>& SimulationEntries();
// The entries of "Byte Order:": the device's Word Swap first, then the four orders.
const std::vector<std::string>& ByteOrderEntries();

}  // namespace velk

#include "model/tag_sheet/tag_page.h"

#include <array>

#include "model/o_modbus_tag.h"

namespace velk {
namespace {

struct TypeEntry {
    const char* name;
    std::uint16_t code;
    std::uint16_t registers;
};

// The eight positions of the "Data Type:" list.
constexpr std::array<TypeEntry, 8> kTypeList{{{"BOOL", VT_BOOL, 1},
                                              {"INT", VT_I2, 1},
                                              {"UINT", VT_UI2, 1},
                                              {"LONG", VT_I4, 2},
                                              {"ULONG", VT_UI4, 2},
                                              {"REAL", VT_R4, 2},
                                              {"LLONG", VT_I8, 4},
                                              {"ULLONG", VT_UI8, 4}}};
constexpr int kExtraPosition = static_cast<int>(kTypeList.size());
constexpr int kBoolPosition = 0;
constexpr int kIntPosition = 1;

}  // namespace

const std::vector<std::string>& LocationEntries() {
    static const std::vector<std::string> entries{"Input Status", "Output Coil", "Input Register",
                                                  "Holding Register", "Event Signal"};
    return entries;
}

const std::vector<std::string>& SimulationEntries() {
    static const std::vector<std::string> entries{"None", "Ramp", "Sine", "Random"};
    return entries;
}

const std::vector<std::string>& ByteOrderEntries() {
    static const std::vector<std::string> entries{"Device (Word Swap)", "ABCD", "CDAB", "BADC",
                                                  "DCBA"};
    return entries;
}

TagPage::TagPage(OModbusTag& tag) : tag_(tag) {
    if (tag.dataType == VT_R8 || tag.dataType == VT_BSTR) {
        extraType_ = tag.dataType;
        extraSize_ = tag.size;
    }
    Transfer(false);
}

std::vector<std::string> TagPage::DataTypeEntries() const {
    std::vector<std::string> entries;
    for (const TypeEntry& e : kTypeList) entries.emplace_back(e.name);
    if (extraType_ != 0) entries.push_back(DataTypeName(extraType_));
    return entries;
}

std::uint16_t TagPage::ChosenTypeCode() const {
    if (dataTypePosition == kExtraPosition && extraType_ != 0) return extraType_;
    if (dataTypePosition < 0 || dataTypePosition >= kExtraPosition) return VT_BOOL;
    return kTypeList[static_cast<std::size_t>(dataTypePosition)].code;
}

std::uint16_t TagPage::ChosenSize() const {
    if (dataTypePosition == kExtraPosition && extraType_ == VT_BSTR)
        return static_cast<std::uint16_t>(enteredBytes_);
    if (dataTypePosition == kExtraPosition && extraType_ != 0) return extraSize_;
    if (dataTypePosition < 0 || dataTypePosition >= kExtraPosition) return 1;
    return kTypeList[static_cast<std::size_t>(dataTypePosition)].registers;
}

bool TagPage::IsRegisterLocation() const {
    return locationKind == kInputRegister || locationKind == kHoldingRegister;
}

bool TagPage::WantsAnalogPages() const { return IsRegisterLocation(); }

std::optional<FieldError> TagPage::ReadEntries() {
    FieldReader reader;
    std::uint32_t address = enteredAddress_;
    std::int32_t bytes = enteredBytes_;
    // Shown as address + 1 of a 16-bit address: 0 or 65537 would wrap to another register.
    reader.ReadUnsignedInRange(kFieldAddress, addressText, kFirstLocation, kLastLocation, address);
    if (bytesEnabled) reader.ReadSignedInRange(kFieldBytes, bytesText, 0, 0xFFFF, bytes);
    // An empty "Bit:" makes a whole-register tag; a BOOL at a register needs one.
    std::int32_t bit = -1;
    if (bitEnabled && bitText.find_first_not_of(' ') != std::string::npos)
        reader.ReadSignedInRange(kFieldBit, bitText, 0, kHighestRegisterBit, bit);
    if (!reader.Error() && IsRegisterLocation() && ChosenTypeCode() == VT_BOOL && bit < 0)
        reader.RefuseRange(kFieldBit, 0, kHighestRegisterBit);
    if (reader.Error()) return reader.Error();
    enteredAddress_ = address;
    enteredBytes_ = bytes;
    enteredBit_ = bit;
    return std::nullopt;
}

void TagPage::Transfer(bool save) {
    if (!save) {
        name = tag_.name;
        description = tag_.description;
        locationKind = tag_.locationKind;
        enteredAddress_ = static_cast<std::uint32_t>(tag_.address) + 1;
        addressText = std::to_string(enteredAddress_);
        simulationKind = tag_.simulationKind;
        readAccess = (tag_.accessRights & kAccessReadable) != 0;
        writeAccess = (tag_.accessRights & kAccessWritable) != 0;
        defaultDisplay = tag_.defaultDisplay;
        dataTypePosition = -1;
        for (std::size_t i = 0; i < kTypeList.size(); ++i)
            if (kTypeList[i].code == tag_.dataType) dataTypePosition = static_cast<int>(i);
        if (extraType_ != 0) dataTypePosition = kExtraPosition;
        enteredBytes_ = extraType_ == VT_BSTR ? extraSize_ : 0;
        byteOrder = tag_.byteOrder >= kByteOrderDevice && tag_.byteOrder <= kByteOrderDCBA
                        ? tag_.byteOrder
                        : kByteOrderDevice;
        enteredBit_ = tag_.IsRegisterBit() ? tag_.registerBit : -1;
        bitText = enteredBit_ >= 0 ? std::to_string(enteredBit_) : std::string();
        ApplyDataTypeRule();
        return;
    }
    tag_.name = name;
    tag_.description = description;
    tag_.defaultDisplay = defaultDisplay;
    tag_.locationKind = locationKind;
    tag_.simulationKind = static_cast<std::int16_t>(simulationKind);
    tag_.address = static_cast<std::uint16_t>(enteredAddress_ - 1u);
    tag_.accessRights = static_cast<std::uint16_t>((readAccess ? kAccessReadable : 0) |
                                                   (writeAccess ? kAccessWritable : 0));
    tag_.dataType = ChosenTypeCode();
    tag_.size = ChosenSize();
    tag_.byteOrder = IsRegisterLocation() ? static_cast<std::int16_t>(byteOrder) : kByteOrderDevice;
    tag_.registerBit = IsRegisterLocation() && tag_.dataType == VT_BOOL
                           ? static_cast<std::int16_t>(enteredBit_)
                           : kNoRegisterBit;
}

void TagPage::OnFirstDisplay() {
    ApplyLocationRule();
    loading = false;
}

void TagPage::OnLocationChosen(int kind) {
    locationKind = kind;
    ApplyLocationRule();
}

void TagPage::OnDataTypeChosen(int position) {
    dataTypePosition = position;
    ApplyDataTypeRule();
}

void TagPage::ApplyLocationRule() {
    dataTypeEnabled = IsRegisterLocation();
    if (!dataTypeEnabled) dataTypePosition = kBoolPosition;
    const bool readOnly = locationKind == kInputStatus || locationKind == kInputRegister ||
                          locationKind == kEventSignal;
    accessEnabled = !readOnly;
    if (readOnly) {
        readAccess = true;
        if (!loading) writeAccess = false;
    } else if (!loading) {
        writeAccess = true;
    }
    ApplyDataTypeRule();
}

void TagPage::ApplyDataTypeRule() {
    // At a register, BOOL is one bit of it: kept while "Bit:" holds an entry.
    const bool bitEntered = bitText.find_first_not_of(' ') != std::string::npos;
    if (IsRegisterLocation() &&
        (dataTypePosition < 0 || (dataTypePosition == kBoolPosition && !bitEntered)))
        dataTypePosition = kIntPosition;
    byteOrderEnabled = IsRegisterLocation();
    bitEnabled = IsRegisterLocation();
    const std::uint16_t type = ChosenTypeCode();
    bytesEnabled = type == VT_BSTR;
    if (type == VT_BSTR) {
        bytesText = std::to_string(enteredBytes_);
    } else if (type == VT_R8) {
        bytesText = std::to_string(2 * extraSize_);
    } else {
        bytesText = std::to_string(2 * ChosenSize());
    }
}

}  // namespace velk

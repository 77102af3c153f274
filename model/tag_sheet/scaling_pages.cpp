#include "model/tag_sheet/scaling_pages.h"

#include "model/o_analog_data.h"
#include "model/o_binary_data.h"
#include "model/tag_sheet/tag_page.h"

namespace velk {

void ScalingPage::OnFirstDisplay() {
    nameShown = tagPage_.name;
    descriptionShown = tagPage_.description;
    loading = false;
}

AnaScalingPage::AnaScalingPage(const TagPage& tagPage, OAnalogData* edited)
    : ScalingPage(tagPage, edited ? nullptr : std::make_unique<OAnalogData>()),
      edited_(edited ? edited : static_cast<OAnalogData*>(OwnedObject())) {
    Transfer(false);
}

OTagData* AnaScalingPage::GetEditedObject() const { return edited_; }

void AnaScalingPage::ShowObject(const OAnalogData& data) {
    rawMinText = FormatNumberEntry(data.rawMinimum);
    rawMaxText = FormatNumberEntry(data.rawMaximum);
    engMinText = FormatNumberEntry(data.engineeringMinimum);
    engMaxText = FormatNumberEntry(data.engineeringMaximum);
    units = data.units;
    lowProcessText = FormatNumberEntry(data.lowProcess);
    highProcessText = FormatNumberEntry(data.highProcess);
}

void AnaScalingPage::Transfer(bool save) {
    if (!save) {
        read_.CopyAll(*edited_);
        ShowObject(*edited_);
        conversion = edited_->conversion;
        initText = FormatNumberEntry(edited_->initValue);
        return;
    }
    read_.units = units;
    read_.conversion = static_cast<std::uint16_t>(conversion);
    edited_->CopyAll(read_);
}

std::optional<FieldError> AnaScalingPage::ReadEntries() {
    FieldReader reader;
    OAnalogData entered;
    entered.CopyAll(read_);
    reader.ReadNumber(kFieldRawMin, rawMinText, entered.rawMinimum);
    reader.ReadNumber(kFieldRawMax, rawMaxText, entered.rawMaximum);
    reader.ReadNumber(kFieldEngMin, engMinText, entered.engineeringMinimum);
    reader.ReadNumber(kFieldEngMax, engMaxText, entered.engineeringMaximum);
    reader.ReadNumber(kFieldInit, initText, entered.initValue);
    reader.ReadNumber(kFieldLowProcess, lowProcessText, entered.lowProcess);
    reader.ReadNumber(kFieldHighProcess, highProcessText, entered.highProcess);
    if (reader.Error()) return reader.Error();
    read_.CopyAll(entered);
    return std::nullopt;
}

void AnaScalingPage::OnFirstDisplay() {
    ScalingPage::OnFirstDisplay();
    OnConversionChosen(conversion);
}

void AnaScalingPage::OnConversionChosen(int chosen) {
    conversion = chosen;
    rangesEnabled = chosen != OAnalogData::kNone;
    if (rangesEnabled) return;
    // Without conversion the ranges mean nothing; they go back to their defaults so that
    // a later choice of a conversion starts from them.
    OAnalogData defaults;
    defaults.ResetRanges();
    ShowObject(defaults);
}

BinScalingPage::BinScalingPage(const TagPage& tagPage, OBinaryData* edited)
    : ScalingPage(tagPage, edited ? nullptr : std::make_unique<OBinaryData>()),
      edited_(edited ? edited : static_cast<OBinaryData*>(OwnedObject())) {
    Transfer(false);
}

OTagData* BinScalingPage::GetEditedObject() const { return edited_; }

void BinScalingPage::Transfer(bool save) {
    if (!save) {
        conversion = edited_->conversion;
        initValue = edited_->initValue != 0;
        return;
    }
    edited_->conversion = static_cast<std::uint16_t>(conversion);
    edited_->initValue = initValue ? 1u : 0u;
}

}  // namespace velk

#pragma once
// Page "Scaling" of the tag property sheet, analog (an OAnalogData) or binary (an
// OBinaryData). A page made for a new object owns it until the sheet gives it to the tag.
#include <memory>
#include <string>

#include "model/o_analog_data.h"
#include "model/tag_sheet/sheet_page.h"

namespace velk {

class OBinaryData;
class OTagData;
class TagPage;

class ScalingPage : public SheetPage {
  public:
    // The name and description of the Connection page as they stand at the first display.
    void OnFirstDisplay() override;
    virtual OTagData* GetEditedObject() const = 0;
    // The object the page made itself (none when it edits the tag's own object).
    std::unique_ptr<OTagData> TakeOwnedObject() { return std::move(owned_); }

    std::string nameShown;
    std::string descriptionShown;

  protected:
    ScalingPage(const TagPage& tagPage, std::unique_ptr<OTagData> owned)
        : tagPage_(tagPage), owned_(std::move(owned)) {}
    OTagData* OwnedObject() const { return owned_.get(); }

  private:
    const TagPage& tagPage_;
    std::unique_ptr<OTagData> owned_;
};

class AnaScalingPage final : public ScalingPage {
  public:
    enum Field {
        kFieldRawMin = 1,
        kFieldRawMax,
        kFieldEngMin,
        kFieldEngMax,
        kFieldInit,
        kFieldLowProcess,
        kFieldHighProcess
    };

    // Edits the given object, or a new one with the default scaling when it is null.
    AnaScalingPage(const TagPage& tagPage, OAnalogData* edited);

    std::optional<FieldError> ReadEntries() override;
    void Transfer(bool save) override;
    void OnFirstDisplay() override;
    OTagData* GetEditedObject() const override;
    // "&None" (0), "&Linear" (1) or "&Square Root" (2) is chosen.
    void OnConversionChosen(int conversion);

    std::string rawMinText, rawMaxText, engMinText, engMaxText, units;
    int conversion = 0;
    std::string initText, lowProcessText, highProcessText;
    bool rangesEnabled = true;  // raw, engineering, units and process fields

  private:
    void ShowObject(const OAnalogData& data);
    OAnalogData* edited_;
    OAnalogData read_;  // the entries as last read
};

class BinScalingPage final : public ScalingPage {
  public:
    BinScalingPage(const TagPage& tagPage, OBinaryData* edited);

    std::optional<FieldError> ReadEntries() override { return std::nullopt; }
    void Transfer(bool save) override;
    OTagData* GetEditedObject() const override;

    int conversion = 0;  // "&Normal" 0, "&Inverted" 1
    bool initValue = false;

  private:
    OBinaryData* edited_;
};

}  // namespace velk

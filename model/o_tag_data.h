#pragma once
// The scaling of a tag: converts between the raw value read from the device and the
// engineering value served to clients.
#include <cstdint>
#include <memory>
#include <string>

#include "model/o_object.h"
#include "model/variant.h"

namespace velk {

class OTagData : public OObject {
  public:
    const char* GetRuntimeClass() const override { return "OTagData"; }

    // Copies from another scaling unless it is this object (guarded copy of every field).
    void Assign(const OTagData& source);
    // True when both conversion words are equal.
    bool IsSameConversion(const OTagData& other) const { return conversion == other.conversion; }
    // Convert in place; true when the value was of the type this class converts (the value
    // is untouched otherwise).
    virtual bool RawToEng(Variant& value) const;
    virtual bool EngToRaw(Variant& value) const;
    // "INV", "LIN", "SQR" or empty text.
    virtual std::string GetConversionName() const { return {}; }
    void CopyConversion(const OTagData& source) { conversion = source.conversion; }
    // Guarded full copy.
    void AssignAll(const OTagData& source);
    // Compares every configured field; scalings of different classes are never equal.
    virtual bool IsEqual(const OTagData& other) const;
    // Copies every field of a scaling of the same class (only the conversion otherwise).
    virtual void CopyAll(const OTagData& source);
    // A new scaling of the same class with the same fields.
    virtual std::unique_ptr<OTagData> Clone() const;

    std::uint16_t conversion = 0;  // 0 means no conversion
};

}  // namespace velk

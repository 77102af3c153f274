#pragma once
// "Copying Tag" without its window: the three lines that compare a received tag with the
// existing tag of the same name, and the name field.
#include <string>

namespace velk {

class OModbusTag;

inline constexpr const char* kCopyTagCaption = "Copying Tag";

class CCopyTagDlg {
  public:
    CCopyTagDlg(const OModbusTag& received, const OModbusTag& existing);

    std::string firstLine;
    std::string secondLine;
    std::string thirdLine;
    std::string nameText;  // the received tag's name, editable for "&Rename"
};

// "<kind> at <address><scaling><alarm>" of a tag, as both comparison lines end.
std::string CopyTagDescription(const OModbusTag& tag);

}  // namespace velk

#pragma once
// Reads a resource documentation listing (8-bit fixed-width text) into one device named
// after the resource: event-signal tags in its group "Events", coil and holding-register
// tags in its group "Tags".
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/exchange_services.h"

namespace velk {

class CDoc;
class ImportSession;
class OTagGroup;

class ResImporter {
  public:
    static constexpr std::size_t kColumns = 7;
    using Columns = std::array<std::string, kColumns>;

    ResImporter(CDoc& document, const ExchangeServices& services);

    // Imports the listing in the mode; messages go to the user interface. Replacing mode
    // first empties the resource's device. Like every import it ends by clearing the
    // devices' import marks.
    ImportReport Import(const std::string& path, ImportMode mode);

    // The resource name of a first line: the text after its last backslash, or after its
    // last space; empty when there is none. Trailing blanks are not part of it.
    static std::string ResourceName(std::string_view firstLine);
    // True when the line, after leading blanks, begins with "RES".
    static bool IsResFirstLine(std::string_view firstLine);
    // The start of each column: the positions of the upper-case letters of a header line.
    static std::vector<std::size_t> ColumnStarts(std::string_view headerLine);
    // Cuts a data line (ISO 8859-1) into the 7 columns, each without trailing blanks and
    // converted to UTF-8. Columns that start beyond the line are empty.
    static Columns CutColumns(std::string_view line, const std::vector<std::size_t>& starts);

  private:
    struct Target {
        OTagGroup* events = nullptr;
        OTagGroup* tags = nullptr;
    };
    bool PrepareDevice(ImportSession& session, const std::string& resource, Target& target);
    // Each returns true when a tag was created or updated.
    bool ImportEventTag(ImportSession& session, OTagGroup& events, const Columns& c);
    bool ImportRegisterTag(ImportSession& session, OTagGroup& tags, const Columns& c);
    bool NameRefused(ImportSession& session, const std::string& name);
    void Show(const std::string& text);

    CDoc& document_;
    ExchangeServices services_;
};

}  // namespace velk

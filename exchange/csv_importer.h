#pragma once
// Reads a CSV tag list into the open document: the paths create the devices and groups
// they name, each line creates or overwrites one tag.
#include <string>
#include <string_view>

#include "exchange/exchange_services.h"

namespace velk {

class CDoc;
class ImportSession;

class CsvImporter {
  public:
    CsvImporter(CDoc& document, const ExchangeServices& services);

    // Imports the file in the mode; the messages go to the user interface. A UTF-8 or
    // UTF-16LE byte-order mark sets the document's export format index to 3 or 2, a tab
    // header to 4. Replacing mode empties each pre-existing device the file names once.
    // A failed import keeps the lines applied before the failure; no tag is ever left
    // half-changed.
    ImportReport Import(const std::string& path, ImportMode mode);

  private:
    enum class LineOutcome { Imported, Bad, NoCurrentNode };

    LineOutcome ImportLine(ImportSession& session, std::string_view line, char separator,
                           bool extended);
    // Walks the device and group parts of a path, creating what is missing; false (a bad
    // line, nothing created) when one of those names is empty.
    bool WalkPath(ImportSession& session, std::string_view path, std::string& tagName);
    void Show(const std::string& text);

    CDoc& document_;
    ExchangeServices services_;
};

}  // namespace velk

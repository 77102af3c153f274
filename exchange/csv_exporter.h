#pragma once
// Writes every tag of the document as a CSV tag list, depth first from the root: a node's
// own tags in list order, then each of its groups.
#include <cstdint>
#include <string>

#include "exchange/exchange_services.h"

namespace velk {

class CDoc;
class OModbusTag;

class CsvExporter {
  public:
    CsvExporter(const CDoc& document, const ExchangeServices& services);

    // The file's text with line feeds: the header line, then one line per tag.
    std::string BuildText(char separator) const;
    // The 41 columns of one tag (45 with the field columns when extended), joined by the
    // separator, without a line end.
    std::string TagLine(const OModbusTag& tag, const std::string& pathPrefix, char separator,
                        bool extended = false) const;

    // Writes the file in the export format of the index (1 to 4; others mean 1). The file
    // is replaced only by a complete export: on failure the previous file stays, the
    // message is shown and false returned ("Unable to create file." when it cannot be
    // created, "File exception while writing." when the text cannot be written, such as
    // a character above U+00FF in the first format).
    bool Export(const std::string& path, std::int32_t formatIndex) const;

  private:
    void Show(const std::string& text) const;

    const CDoc& document_;
    ExchangeServices services_;
};

}  // namespace velk

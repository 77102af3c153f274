#pragma once
// The AE area browser: walks the configuration tree, devices as top areas, tag groups as
// sub-areas and alarmed tags as sources, from a position of its own.
#include <cstdint>
#include <memory>
#include <string>

#include "opc/opc_result.h"

namespace velk {

class BEnumEventArea;
class CDoc;
class OTagGroup;

class OPCEventAreaBrowser {
  public:
    // Positioned at the root of the document's tree.
    explicit OPCEventAreaBrowser(const CDoc& document);

    // Up (E_FAIL at the root), down to a child branch or to a delimited path from the root
    // (OPC_E_INVALIDBRANCHNAME when a name is not found); E_INVALIDARG otherwise.
    HRESULT ChangeBrowsePosition(std::uint32_t direction, const char* text);
    // An enumerator at the position; S_FALSE when it is empty.
    HRESULT BrowseOPCAreas(std::uint32_t browseType, const char* filter,
                           std::unique_ptr<BEnumEventArea>* enumerator);
    // The full path of the position (empty name) or of one of its child branches.
    HRESULT GetQualifiedAreaName(const char* area, std::string* qualified);
    // The path prefix and name of a tag named relative to the position with ".".
    HRESULT GetQualifiedSourceName(const char* source, std::string* qualified);

    const OTagGroup& Position() const { return *position_; }

  private:
    const std::string& Delimiter() const;

    const CDoc& document_;
    const OTagGroup* position_;
};

}  // namespace velk

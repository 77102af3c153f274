#include "opcae/opc_event_area_browser.h"

#include "core/trace_file.h"
#include "model/c_doc.h"
#include "opc/opc_call_trace.h"
#include "opc/opc_result.h"
#include "opcae/b_enum_event_area.h"
#include "opcae/opc_ae_types.h"

namespace velk {

using opc_calls::Traced;

namespace {

constexpr const char* kBrowser = "Called IOPCEventAreaBrowser::";

}  // namespace

OPCEventAreaBrowser::OPCEventAreaBrowser(const CDoc& document)
    : document_(document), position_(&document.rootGroup) {}

const std::string& OPCEventAreaBrowser::Delimiter() const {
    return document_.Settings().areaDelimiter;
}

HRESULT OPCEventAreaBrowser::ChangeBrowsePosition(std::uint32_t direction, const char* text) {
    const char* method = "ChangeBrowsePosition";
    const std::string name = text ? text : "";
    switch (direction) {
        case OPCAE_BROWSE_UP:
            if (position_->parent == nullptr) return Traced(kBrowser, method, E_FAIL);
            position_ = position_->parent;
            return Traced(kBrowser, method, S_OK);
        case OPCAE_BROWSE_DOWN: {
            if (name.empty()) return Traced(kBrowser, method, E_INVALIDARG);
            const OTagGroup* child = position_->FindSubgroup(name);
            if (child == nullptr) return Traced(kBrowser, method, OPC_E_INVALIDBRANCHNAME);
            position_ = child;
            return Traced(kBrowser, method, S_OK);
        }
        case OPCAE_BROWSE_TO: {
            const OTagGroup* node = &document_.rootGroup;
            const std::string& delimiter = Delimiter();
            if (!name.empty()) {
                std::size_t start = 0;
                while (true) {
                    const std::size_t end =
                        delimiter.empty() ? std::string::npos : name.find(delimiter, start);
                    const std::string part = name.substr(start, end - start);
                    node = part.empty() ? nullptr : node->FindSubgroup(part);
                    if (node == nullptr) return Traced(kBrowser, method, OPC_E_INVALIDBRANCHNAME);
                    if (end == std::string::npos) break;
                    start = end + delimiter.size();
                }
            }
            position_ = node;
            return Traced(kBrowser, method, S_OK);
        }
        default:
            return Traced(kBrowser, method, E_INVALIDARG);
    }
}

HRESULT OPCEventAreaBrowser::BrowseOPCAreas(std::uint32_t browseType, const char* filter,
                                            std::unique_ptr<BEnumEventArea>* enumerator) {
    if (enumerator == nullptr) return Traced(kBrowser, "BrowseOPCAreas", E_INVALIDARG);
    *enumerator = std::make_unique<BEnumEventArea>(*position_, browseType, filter ? filter : "");
    return Traced(kBrowser, "BrowseOPCAreas", (*enumerator)->HasEntries() ? S_OK : S_FALSE);
}

HRESULT OPCEventAreaBrowser::GetQualifiedAreaName(const char* area, std::string* qualified) {
    const char* method = "GetQualifiedAreaName";
    if (area == nullptr || qualified == nullptr) return Traced(kBrowser, method, E_INVALIDARG);
    if (*area == '\0') {
        *qualified = position_->GetAreaPath(Delimiter());
        return Traced(kBrowser, method, S_OK);
    }
    const OTagGroup* child = position_->FindSubgroup(area);
    if (child == nullptr) return Traced(kBrowser, method, E_INVALIDARG);
    *qualified = child->GetAreaPath(Delimiter());
    return Traced(kBrowser, method, S_OK);
}

HRESULT OPCEventAreaBrowser::GetQualifiedSourceName(const char* source, std::string* qualified) {
    const char* method = "GetQualifiedSourceName";
    if (source == nullptr || *source == '\0' || qualified == nullptr)
        return Traced(kBrowser, method, E_INVALIDARG);
    const OModbusTag* tag = position_->FindTagInGroup(source, ".");
    if (tag == nullptr) return Traced(kBrowser, method, E_INVALIDARG);
    *qualified = tag->GetFullPath(Delimiter());
    return Traced(kBrowser, method, S_OK);
}

}  // namespace velk

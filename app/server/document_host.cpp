#include "app/server/document_host.h"

namespace velk {

CDoc& DocumentHost::Document() {
    if (!document_) {
        const ServerSettings settings = app_.Settings().Get();
        ModelSettings model;
        model.areaDelimiter = settings.AreaDelimiter;
        model.fullTagPath = settings.FullTagPath;
        CDocServices services = services_;
        services.counts = this;
        document_ = std::make_unique<CDoc>(services, model);
    }
    return *document_;
}

}  // namespace velk

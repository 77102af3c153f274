#include "app/server/document_host.h"

#include "model/document_storage.h"

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

namespace velk {

bool DocumentHost::WriteCopy(const std::string& path, std::string& message) {
    if (document_ == nullptr || services_.storage == nullptr) return false;
    // The storage writes the file; the document's own path and state are left alone.
    return services_.storage->Save(*document_, path, message);
}

bool DocumentHost::OpenCopy(const std::string& copy, const std::string& original) {
    CDoc& document = Document();
    if (!document.OnOpenDocument(copy)) {
        // The configuration the start opened comes back.
        if (original.empty() || !document.OnOpenDocument(original)) document.OnNewDocument();
        return false;
    }
    document.SetPathName(original);
    document.SetModified();
    document.UpdateAllViews(kHintRebuild);
    return true;
}

}  // namespace velk

#pragma once
// Creates the configuration document when the start-up sequence first asks for it, with the
// settings read by then, and hands it on. Until then the server has no document.
#include <memory>

#include "app/opc_app.h"
#include "model/ae_event_space.h"
#include "model/c_doc.h"
#include "model/document_services.h"
#include "model/locks.h"

namespace velk {

class DocumentHost final : public IAppDocument, public IServerCounts, public IDocumentRecovery {
  public:
    // services.counts, the locks and the event space are filled in by the host itself.
    DocumentHost(COpcApp& app, CDocServices services) : app_(app), services_(services) {
        services_.locks = &locks_;
        services_.eventSpace = &eventSpace_;
    }

    bool OpenDocument(const std::string& path) override { return Document().OpenDocument(path); }
    bool NewDocument() override { return Document().NewDocument(); }
    bool IsMonitorRunning() const override { return document_ && document_->IsMonitorRunning(); }
    void StopMonitor() override {
        if (document_) document_->StopMonitor();
    }

    // IDocumentRecovery.
    bool IsModified() const override { return document_ && document_->IsModified(); }
    std::string PathName() const override { return document_ ? document_->PathName() : ""; }
    bool WriteCopy(const std::string& path, std::string& message) override;
    bool OpenCopy(const std::string& copy, const std::string& original) override;

    std::int32_t ComLockCount() const override {
        return static_cast<std::int32_t>(app_.ComLockCount());
    }
    std::int32_t ClientCount() const override {
        return static_cast<std::int32_t>(app_.ClientCount());
    }

    CDoc* Existing() { return document_.get(); }
    // The document's locks and AE condition tables, there before the document itself: the
    // acquisition, the redundancy link and the servers are wired to them at start.
    ModelLocks& Locks() { return locks_; }
    AeEventSpace& EventSpace() { return eventSpace_; }

  private:
    CDoc& Document();

    COpcApp& app_;
    ModelLocks locks_;
    AeEventSpace eventSpace_;
    CDocServices services_;
    std::unique_ptr<CDoc> document_;
};

}  // namespace velk

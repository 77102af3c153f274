#include "app/opcua/ua_service.h"

#include "app/opcua/grid_sampling_source.h"
#include "app/opcua/plant_tag_values.h"
#include "app/opcua/plant_tag_writer.h"
#include "app/opcua/ua_front.h"
#include "app/opcua/ua_server_handler.h"
#include "model/c_doc.h"
#include "model/document_observer.h"
#include "opc/device_workers.h"
#include "opcua/space/address_space.h"
#include "opcua/space/plant_nodes.h"

namespace velk {

// Everything the running server holds, in the order it is made; the front goes first at the
// stop, since its sessions sample through the source and read through the plant's pieces.
struct UaService::Running final : IDocumentObserver {
    Running(const UaServiceParts& parts, CDoc& doc, const UaFrontOptions& options,
            const ua::ServerDescription& server)
        : document(doc),
          zero(server, options.server.serviceLimits, parts.clock),
          plant(doc),
          space(zero, &plant),
          values(doc, plant, parts.tagIO, parts.workers, parts.clock),
          writer(doc, plant, parts.tagIO),
          sampling(GridSamplingServices{doc, plant, space, parts.tagIO, parts.workers.Updates(),
                                        parts.workers, parts.clock}),
          front(UaFrontServices{
              parts.clock, parts.sockets, parts.clients,
              UaServerHandlerFactory(UaPlantServices{parts.clock, space, values, writer, sampling}),
              parts.trace}) {
        document.AddObserver(this);
    }
    ~Running() override {
        front.Stop();
        sampling.Stop();
        document.RemoveObserver(this);
    }
    // Nodes come and go with edits, imports and File Open: the sampled items find their tags
    // again at their next cycle.
    void OnDocumentUpdate(int, OObject*) override { sampling.OnConfigurationChanged(); }

    CDoc& document;
    ua::NamespaceZero zero;
    ua::PlantNodes plant;
    ua::AddressSpace space;
    PlantTagValues values;
    PlantTagWriter writer;
    GridSamplingSource sampling;
    UaFront front;
};

UaService::UaService(UaServiceParts parts) : parts_(std::move(parts)) {}

UaService::~UaService() { Stop(); }

bool UaService::Start(CDoc& document, const UaFrontOptions& options,
                      const ua::ServerDescription& server) {
    if (running_) return true;
    auto running = std::make_unique<Running>(parts_, document, options, server);
    if (!running->front.Start(options)) return false;
    running_ = std::move(running);
    return true;
}

void UaService::Stop() { running_.reset(); }

bool UaService::IsRunning() const { return running_ != nullptr; }

}  // namespace velk

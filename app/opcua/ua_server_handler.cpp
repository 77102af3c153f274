#include "app/opcua/ua_server_handler.h"

namespace velk {
namespace {

class UaServerHandler final : public IUaRequestHandler {
  public:
    UaServerHandler(const UaPlantServices& plant, const UaHandlerContext& context)
        : server_(ua::UaServerServices{plant.clock,
                                       plant.space,
                                       plant.values,
                                       plant.writer,
                                       plant.sampling,
                                       context.work,
                                       context.output,
                                       context.trace,
                                       context.sessionCountChanged,
                                       {},
                                       plant.users},
                  context.config) {}

    void OnRequest(const ua::ChannelInfo& channel, ua::ServiceRequest request) override {
        server_.OnRequest(channel, std::move(request));
    }
    void OnChannelClosed(std::uint32_t channelId) override { server_.OnChannelClosed(channelId); }
    void Tick() override { server_.Tick(); }
    FileTime NextDue() const override { return server_.NextDue(); }

  private:
    ua::UaServer server_;
};

}  // namespace

UaHandlerFactory UaServerHandlerFactory(UaPlantServices plant) {
    return [plant](const UaHandlerContext& context) -> std::unique_ptr<IUaRequestHandler> {
        return std::make_unique<UaServerHandler>(plant, context);
    };
}

}  // namespace velk

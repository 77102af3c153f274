#pragma once
// The sampling of the UA monitored items through the DA groups' machinery: the items of one
// rate run their cycles on the update grid, in the shared update pool, and each cycle reads
// every device's tags on that device's reader through the shared block reads of the period
// (ITagIO::ReadTagsInPeriod), so DA groups and UA items watching the same blocks put one
// request per block and period on the wire, and a controller that does not answer delays only
// its own items. After a device's read the items' values are compared with the ones last
// delivered and only the changes go to the sinks, one batch per sink and device read.
//
// Locks: TreeLock, then the source's own lock, then TagDataLock. The sinks are called under
// the source's lock (so that none is called after StopSampling returns) and must only post.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "opc/tag_io.h"
#include "opcua/space/address_space.h"
#include "opcua/subscription/sampling_source.h"

namespace velk {

class CDoc;
class IClock;
class IDeviceWork;
class TimedPassPool;

namespace ua {
class PlantNodes;
}

struct GridSamplingServices {
    // The document whose tree the item IDs name, its plant view and address space.
    const CDoc& document;
    const ua::PlantNodes& plant;
    const ua::IAddressSpace& space;
    // Outlives every device read the source launched (the scan engine's).
    ITagIO& tagIO;
    // The update grid's pool and the device readers (DeviceWorkers).
    TimedPassPool& updates;
    IDeviceWork& deviceReads;
    // The tick count of the grid.
    const IClock& clock;
};

class GridSamplingSource final : public ua::ISamplingSource {
  public:
    // The rates the grid runs the items at; a request is revised to the next one up. Rates
    // that divide each other start their periods together, so their reads share blocks.
    static constexpr std::array<std::uint32_t, 10> kRatesMs = {50,   100,  250,   500,   1000,
                                                               2000, 5000, 10000, 30000, 60000};

    explicit GridSamplingSource(GridSamplingServices services);
    // Stops.
    ~GridSamplingSource() override;
    GridSamplingSource(const GridSamplingSource&) = delete;
    GridSamplingSource& operator=(const GridSamplingSource&) = delete;

    // Takes TreeLock.
    ua::SampledNodeInfo Describe(const ua::NodeId& node, std::uint32_t attributeId) const override;
    double ReviseSamplingInterval(double requestedMs) const override;
    // A plant tag's Value is sampled on the grid; any other attribute or node is delivered
    // once, as a Read gives it, for it changes only with the configuration. A node that is not
    // there gives one BadNodeIdUnknown. Takes TreeLock.
    std::vector<ua::SamplingHandle> StartSampling(const std::vector<ua::SampleSpec>& specs,
                                                  ua::ISampleSink& sink) override;
    // No sample of these handles is delivered after it returns. Takes TreeLock.
    void StopSampling(const std::vector<ua::SamplingHandle>& handles) override;

    // The configuration tree changed (a document update): every rate's next cycle finds its
    // items' tags again; an item whose tag is gone delivers BadNodeIdUnknown once, and
    // samples again should a tag of its item ID come back.
    void OnConfigurationChanged();
    // Ends every cycle, waiting for a pass in progress (passes never wait for a device); a
    // device read still in hand ends on its reader and delivers nothing. Idempotent.
    void Stop();

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace velk

#pragma once
// The plant as the edge node reads and writes it, through the DA groups' machinery: a
// device's metrics are read by the scan engine's shared block reads in the current period of
// the update grid (so tags that DA groups of a rate on the same grid watch cost no request of
// their own), and written by the DA write path with its conversion and range checks. The
// node holds the plant per device: TreeLock, as long as no object of the tree has been
// destroyed since the layout was taken.
#include <cstdint>
#include <vector>

#include "model/locks.h"
#include "model/tag_list.h"
#include "opc/tag_io.h"
#include "sparkplug/edge_node.h"

namespace velk {

class CDoc;

class PlantSampler final : public sparkplug::IPlantAccess {
  public:
    PlantSampler(ITagIO& tagIO, const CDoc& document);

    // The layout whose devices are sampled; their tag lists in location order are made here.
    // Called under TreeLock.
    void SetLayout(const sparkplug::MetricLayout& layout);
    // The tree, under TreeLock, found to hold the layout's objects still.
    void Confirm();
    // The start of the publish period on the update grid, from which other readers' answers
    // may be taken.
    void SetPeriodStart(std::uint32_t tick) { periodStart_ = tick; }

    std::vector<sparkplug::MetricSample> Sample(const sparkplug::DeviceMetrics& device) override;
    bool IsAnswering(const sparkplug::DeviceMetrics& device) override;
    void Write(const sparkplug::DeviceMetrics& device,
               const std::vector<sparkplug::TagWrite>& writes) override;
    bool Enter() override;
    void Leave() override;

  private:
    ITagIO& tagIO_;
    const CDoc& document_;
    ModelLocks& locks_;
    std::uint64_t destructions_ = 0;  // the tree's when the layout was last confirmed
    const sparkplug::MetricLayout* layout_ = nullptr;
    std::vector<TagList> tags_;  // by the layout's device index
    std::uint32_t periodStart_ = 0;
};

// Whether two layouts publish the same: devices, metric names, aliases, types, tags and
// ranges. A configuration change that leaves them equal needs no new birth.
bool SameLayout(const sparkplug::MetricLayout& a, const sparkplug::MetricLayout& b);

}  // namespace velk

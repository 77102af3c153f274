#include "app/opcua/plant_tag_values.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>

#include "model/c_doc.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"
#include "opc/worker_launcher.h"
#include "opcua/space/plant_nodes.h"
#include "opcua/space/tag_value_mapping.h"
#include "opcua/status_codes.h"
#include "platform/clock.h"

namespace velk {
namespace {

// The tags this thread's last Refresh read; the Read service's per-node reads follow it on
// the same thread.
thread_local std::unordered_set<const OModbusTag*> refreshed;

// The plant tag of a node (TreeLock held), or null.
OModbusTag* TagOf(const ua::PlantNodes& plant, const ua::NodeId& node) {
    const auto* itemId = std::get_if<std::string>(&node.identifier);
    if (node.namespaceIndex != ua::kPlantNamespaceIndex || itemId == nullptr) return nullptr;
    auto* tag = const_cast<OModbusTag*>(plant.FindTag(*itemId));
    return tag != nullptr && tag->group != nullptr && tag->group->GetDevice() != nullptr ? tag
                                                                                         : nullptr;
}

// Stale: older than maxAge, or any value with maxAge 0 (TagDataLock held).
bool Stale(const OModbusTag& tag, double maxAgeMs, FileTime now) {
    if (maxAgeMs <= 0) return true;
    const double ageMs =
        now > tag.timestamp ? static_cast<double>(now - tag.timestamp) / kFileTimeTicksPerMs : 0.0;
    return ageMs > maxAgeMs;
}

struct Countdown {
    std::mutex lock;
    std::condition_variable ended;
    std::size_t left = 0;
    void OneEnded() {
        std::lock_guard guard(lock);
        if (--left == 0) ended.notify_all();
    }
};

}  // namespace

void PlantTagValues::Refresh(const std::vector<ua::NodeId>& nodes, double maxAgeMs) {
    refreshed.clear();
    std::map<ODevice*, TagList> reads;
    {
        std::lock_guard tree(document_.Locks().tree);
        std::lock_guard data(document_.Locks().tagData);
        const FileTime now = clock_.NowUtc();
        for (const ua::NodeId& node : nodes) {
            OModbusTag* tag = TagOf(plant_, node);
            if (tag == nullptr || !Stale(*tag, maxAgeMs, now)) continue;
            if (InsertSortedOnce(tag, reads[tag->group->GetDevice()])) {
                // Held while read outside the lock, as a DA item holds it.
                ++tag->opcReferenceCount;
                refreshed.insert(tag);
            }
        }
    }
    if (reads.empty()) return;
    auto countdown = std::make_shared<Countdown>();
    countdown->left = reads.size();
    for (auto& [device, tags] : reads) {
        ITagIO* io = &tagIO_;
        auto work = [io, device, tags, countdown] {
            io->ReadTags(*device, tags);
            countdown->OneEnded();
        };
        if (!deviceReads_.LaunchOn(*device, std::move(work))) countdown->OneEnded();
    }
    {
        // Each device read ends with its own time-outs.
        std::unique_lock guard(countdown->lock);
        countdown->ended.wait(guard, [&] { return countdown->left == 0; });
    }
    std::lock_guard data(document_.Locks().tagData);
    for (auto& [device, tags] : reads)
        for (OModbusTag* tag : tags) --tag->opcReferenceCount;
}

ua::DataValue PlantTagValues::ReadTagValue(const ua::NodeId& node, double maxAgeMs) {
    OModbusTag* tag = nullptr;
    ODevice* device = nullptr;
    {
        std::lock_guard tree(document_.Locks().tree);
        tag = TagOf(plant_, node);
        if (tag == nullptr) {
            ua::DataValue gone;
            gone.status = ua::kBadNodeIdUnknown;
            return gone;
        }
        std::lock_guard data(document_.Locks().tagData);
        if (refreshed.contains(tag) || !Stale(*tag, maxAgeMs, clock_.NowUtc()))
            return ua::TagDataValue(*tag);
        device = tag->group->GetDevice();
        ++tag->opcReferenceCount;
    }
    tagIO_.ReadTags(*device, {tag});
    std::lock_guard data(document_.Locks().tagData);
    --tag->opcReferenceCount;
    return ua::TagDataValue(*tag);
}

}  // namespace velk

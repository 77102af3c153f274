#pragma once
// The live-monitor thread: while the document's monitorRunning flag is set it reads the
// tags of the group selected in the tree, at the tag scan period of the group's device.
// It counts as a client from its start to its end, and adds one to the shown group's use
// count so that the group cannot be deleted under it.
#include <functional>
#include <memory>

#include "model/document_services.h"
#include "model/tag_list.h"
#include "platform/worker_thread.h"

namespace velk {

class IClientCounter;
class IClock;
class ODevice;
class OTagGroup;

class LiveMonitorThread final : public IMonitorThread {
  public:
    // Reads a device's tags (the scan engine's ReadTags).
    using ReadTagsFunction = std::function<void(ODevice& device, TagList& tags)>;

    LiveMonitorThread(IClock& clock, IClientCounter& clients, ReadTagsFunction readTags);
    ~LiveMonitorThread() override;
    LiveMonitorThread(const LiveMonitorThread&) = delete;
    LiveMonitorThread& operator=(const LiveMonitorThread&) = delete;

    // False when a thread still runs or none could be created.
    bool Start(CDoc& document) override;
    // Waits for the thread to end; the document clears its flag first.
    void Join() override;

    static constexpr std::uint32_t kInitialPeriodMs = 500;

  private:
    void Run(CDoc& document);

    IClock& clock_;
    IClientCounter& clients_;
    ReadTagsFunction readTags_;
    std::unique_ptr<WorkerThread> thread_;  // made anew for each start
};

}  // namespace velk

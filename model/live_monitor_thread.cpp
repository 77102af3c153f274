#include "model/live_monitor_thread.h"

#include <mutex>

#include "model/c_doc.h"
#include "model/document_services.h"
#include "platform/clock.h"

namespace velk {

LiveMonitorThread::LiveMonitorThread(IClock& clock, IClientCounter& clients,
                                     ReadTagsFunction readTags)
    : clock_(clock), clients_(clients), readTags_(std::move(readTags)) {}

LiveMonitorThread::~LiveMonitorThread() { Join(); }

bool LiveMonitorThread::Start(CDoc& document) {
    if (thread_ && thread_->IsStarted()) return false;
    thread_ = std::make_unique<WorkerThread>("LiveMonitor");
    // A thread the system refuses is reported by WorkerThread; the command then does nothing.
    return thread_->Start([this, &document](MessageQueue&) {
        Run(document);
        return 0;
    });
}

void LiveMonitorThread::Join() {
    if (thread_) thread_->Join();
}

void LiveMonitorThread::Run(CDoc& document) {
    TagList tags;
    clients_.AddClient();
    std::uint32_t period = kInitialPeriodMs;
    OTagGroup* current = nullptr;

    while (document.monitorRunning.load()) {
        clock_.Sleep(period);
        if (!document.monitorRunning.load()) break;
        {
            std::lock_guard<std::recursive_mutex> tree(document.Locks().tree);
            if (document.selection != current) {
                if (current) --current->useCount;
                current = document.selection;
                tags.clear();
                if (current) {
                    for (const auto& tag : current->tagList) InsertSorted(tag.get(), tags);
                    ++current->useCount;
                    if (const ODevice* device = current->GetDevice())
                        period = device->params.tagScan;
                }
            }
        }
        if (current == nullptr) continue;
        if (ODevice* device = current->GetDevice()) readTags_(*device, tags);
    }

    {
        std::lock_guard<std::recursive_mutex> tree(document.Locks().tree);
        if (current) --current->useCount;
    }
    clients_.RemoveClient();
}

}  // namespace velk

#pragma once
// An event poster that keeps every record it is given, in order.
#include <memory>
#include <vector>

#include "model/b_event.h"

namespace velk::testing {

class RecordingPoster final : public IEventPoster {
  public:
    void PostEvent(std::unique_ptr<BEvent> event) override { events.push_back(std::move(event)); }
    std::vector<std::unique_ptr<BEvent>> events;
};

}  // namespace velk::testing

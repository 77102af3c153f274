#pragma once
// The present conditions of the server, as a refresh reports them: the tag conditions come
// in the refresh calls, the device conditions as ordinary events queued by the refresh,
// which a short delivery period brings soon after the last refresh call.
#include <functional>
#include <vector>

#include "tools/client/ae_event_sink.h"
#include "tools/client/ae_server.h"

namespace velk::client {

// Calls each condition as it arrives; returns false when the refresh did not end (a signal
// or the server left first).
bool CollectConditions(AeServer& server, const std::function<void(const AeEvent&)>& onCondition);

}  // namespace velk::client

#pragma once
// How the AE commands print events and conditions, and the client-side match of source
// patterns (the server filters no sources).
#include <string>

#include "tools/client/ae_event_sink.h"

namespace velk::client {

// "active,unacked,enabled" and the like, from the condition state bits.
std::string ConditionStateText(std::uint16_t state);
// One line: time, source, condition/subcondition, severity, message, state, cookie, and the
// acknowledger of an acknowledgement event.
std::string EventLine(const AeEvent& event);
// The OPC wildcards "*", "?" and "#", compared without regard to the case of ASCII letters.
bool SourceMatches(const std::string& source, const std::string& pattern);

}  // namespace velk::client

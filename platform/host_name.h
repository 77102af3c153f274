#pragma once
// The machine's host name, for names made from it (the UA application URI and certificate,
// the Sparkplug edge node).
#include <string>

namespace velk {

// The host name; "localhost" when the machine has none.
std::string HostName();

}  // namespace velk

#pragma once
// The DA objects send their sink calls through the window shared with the AE objects.
#include "opc/bus/sink_call_window.h"

namespace velk::dabus {

using SinkWindow = SinkCallWindow;

}  // namespace velk::dabus

#pragma once
// The control commands of velkopc-plcsim, one per line, from standard input or the control
// socket. Every reply ends with a line "ok" or "error: <reason>".
#include <string>
#include <string_view>

namespace velk::plcsim {

class PlcSimulator;

std::string ExecuteCommand(PlcSimulator& simulator, std::string_view line);

// The command summary printed by "help".
std::string CommandHelp();

}  // namespace velk::plcsim

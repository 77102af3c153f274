#pragma once
// The Alarms & Events commands of velkopc-client, one file each.
#include "tools/client/client_command.h"

namespace velk::client {

int RunAeSpaceCommand(ClientContext& context, CommandArguments& args);
int RunAreasCommand(ClientContext& context, CommandArguments& args);
int RunEventsCommand(ClientContext& context, CommandArguments& args);
int RunRefreshCommand(ClientContext& context, CommandArguments& args);
int RunAckCommand(ClientContext& context, CommandArguments& args);

}  // namespace velk::client

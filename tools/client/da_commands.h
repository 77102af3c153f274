#pragma once
// The Data Access commands of velkopc-client, one file each.
#include "tools/client/client_command.h"

namespace velk::client {

int RunStatusCommand(ClientContext& context, CommandArguments& args);
int RunBrowseCommand(ClientContext& context, CommandArguments& args);
int RunPropertiesCommand(ClientContext& context, CommandArguments& args);
int RunReadCommand(ClientContext& context, CommandArguments& args);
int RunWriteCommand(ClientContext& context, CommandArguments& args);
int RunSubscribeCommand(ClientContext& context, CommandArguments& args);
int RunDevicesCommand(ClientContext& context, CommandArguments& args);

}  // namespace velk::client

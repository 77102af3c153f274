#pragma once
// velkopc-config ua-user: the OPC UA users in the machine settings store (the file the
// server reads: $VELKOPC_SETTINGS, else /etc/velkopc/settings.reg).
//   ua-user add NAME ROLE [--password-stdin]   ROLE is Viewer or Operator; the password is
//                                              asked on the terminal without echo, or read
//                                              as the first line of standard input
//   ua-user remove NAME
//   ua-user list                               names and roles, never the hashes
// add and remove need administrator rights. The store file is made readable by its owner
// alone before a user is written into it.
#include <string>
#include <vector>

namespace velk {

struct ToolContext;

int RunUaUserCommand(ToolContext& context, const std::vector<std::string>& args);

}  // namespace velk

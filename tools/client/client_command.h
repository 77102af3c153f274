#pragma once
// One velkopc-client command: its name, its synopsis and help lines, and the function that
// runs it. A new command is a function in a file of its own and one line in the table of
// command_table.cpp.
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "tools/client/bus/bus_session.h"
#include "tools/client/lib/invocation.h"
#include "tools/client/lib/result_codes.h"

namespace velk::client {

// What a command works with: the chosen bus (connected on first use) and the two streams.
class ClientContext {
  public:
    ClientContext(BusChoice bus, std::ostream& out, std::ostream& err);
    ~ClientContext();

    BusSession& Session();
    std::ostream& Out() { return out_; }
    std::ostream& Err() { return err_; }
    // "velkopc-client: <what>: <code's description>" on the error stream.
    void ReportFailure(const std::string& what, ResultCode code);
    // "velkopc-client: <text>" on the error stream.
    void Report(const std::string& text);

  private:
    BusChoice bus_;
    std::ostream& out_;
    std::ostream& err_;
    std::unique_ptr<BusSession> session_;
};

struct ClientCommand {
    std::string_view name;
    std::string_view synopsis;  // the arguments, as the usage shows them
    std::string_view help;      // what it does; lines start with two blanks
    // Returns the exit status; throws ClientFailure for failures that end it.
    int (*run)(ClientContext& context, CommandArguments& args);
};

// Every command, in the order that --help lists them.
std::span<const ClientCommand> ClientCommands();

// Throws the usage failure of the command when its arguments are wrong.
void RequireArguments(CommandArguments& args, std::size_t least, std::size_t most);

}  // namespace velk::client

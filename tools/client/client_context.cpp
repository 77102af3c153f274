#include <ostream>

#include "tools/client/bus/client_failure.h"
#include "tools/client/client_command.h"

namespace velk::client {

ClientContext::ClientContext(BusChoice bus, std::ostream& out, std::ostream& err)
    : bus_(std::move(bus)), out_(out), err_(err) {}

ClientContext::~ClientContext() = default;

BusSession& ClientContext::Session() {
    if (!session_) session_ = std::make_unique<BusSession>(bus_);
    return *session_;
}

void ClientContext::ReportFailure(const std::string& what, ResultCode code) {
    Report(what + ": " + DescribeResult(code));
}

void ClientContext::Report(const std::string& text) {
    err_ << "velkopc-client: " << text << std::endl;
}

void RequireArguments(CommandArguments& args, std::size_t least, std::size_t most) {
    if (!args.Finish(least, most)) throw ClientFailure(kExitUsage, args.Problem());
}

}  // namespace velk::client

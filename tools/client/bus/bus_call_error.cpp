#include "tools/client/bus/bus_call_error.h"

namespace velk::client {

BusCallError::BusCallError(std::string destination, std::string method, std::string errorName,
                           std::string message)
    : std::runtime_error(method + ": " + errorName + ": " + message),
      destination_(std::move(destination)),
      method_(std::move(method)),
      errorName_(std::move(errorName)),
      message_(std::move(message)) {
    if (errorName_ == kHresultErrorName) result_ = ParseResultMessage(message_);
}

std::optional<ResultCode> BusCallError::Code() const {
    if (!result_) return std::nullopt;
    return result_->code;
}

std::string BusCallError::ServerDescription() const {
    return result_ ? result_->description : std::string();
}

bool BusCallError::ServerMissing() const {
    return errorName_ == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           errorName_ == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
           errorName_ == "org.freedesktop.DBus.Error.Disconnected";
}

std::string BusCallError::Reason() const {
    if (result_) return DescribeResult(result_->code);
    if (errorName_ == kHresultErrorName) return "the server's error \"" + message_ + "\"";
    return errorName_ + (message_.empty() ? std::string() : ": " + message_);
}

void ThrowBusCallError(const std::string& destination, std::string_view method,
                       const sdbus::Error& error) {
    throw BusCallError(destination, std::string(method), error.getName(), error.getMessage());
}

}  // namespace velk::client

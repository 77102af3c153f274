#pragma once
// A bus call that failed: which method on which server, the bus error's name and message,
// and the server's result code when the error is "VELK.Error.HRESULT".
#include <sdbus-c++/Error.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tools/client/lib/result_codes.h"

namespace velk::client {

inline constexpr std::string_view kHresultErrorName = "VELK.Error.HRESULT";

class BusCallError : public std::runtime_error {
  public:
    BusCallError(std::string destination, std::string method, std::string errorName,
                 std::string message);

    const std::string& Destination() const { return destination_; }
    // "Interface.Method" without the "VELK.OPC." prefix, e.g. "IOPCSyncIO.Write".
    const std::string& Method() const { return method_; }
    const std::string& ErrorName() const { return errorName_; }
    const std::string& Message() const { return message_; }
    // The server's result code; none for errors of the bus itself.
    std::optional<ResultCode> Code() const;
    // The server's description that came with the code ("" when none).
    std::string ServerDescription() const;
    // True when no process owns the server's name (it is not running and cannot be started),
    // or it left the bus during the call.
    bool ServerMissing() const;
    // What went wrong, for the user: the code's name, number and meaning, or the bus error.
    std::string Reason() const;

  private:
    std::string destination_;
    std::string method_;
    std::string errorName_;
    std::string message_;
    std::optional<ServerResult> result_;
};

[[noreturn]] void ThrowBusCallError(const std::string& destination, std::string_view method,
                                    const sdbus::Error& error);

// Runs a bus call and turns a failure of the bus library into a BusCallError.
template <class Call>
auto Guarded(const std::string& destination, std::string_view method, Call&& call)
    -> decltype(call()) {
    try {
        return call();
    } catch (const sdbus::Error& error) {
        ThrowBusCallError(destination, method, error);
    }
}

}  // namespace velk::client

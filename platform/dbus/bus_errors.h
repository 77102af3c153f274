#pragma once
// How result codes cross the bus. A call that fails (a negative code) is answered with the
// error name "VELK.Error.HRESULT" and a message that begins with the code as "0x" and eight
// hexadecimal digits, optionally followed by a blank and a description. Success codes other
// than S_OK travel as an int32 result of the method itself.
#include <optional>
#include <string>
#include <string_view>

#include "platform/hresult.h"

namespace velk {

inline constexpr std::string_view kHresultErrorName = "VELK.Error.HRESULT";

// A callback to a client sink got no answer within its time-out.
inline constexpr HRESULT RPC_E_TIMEOUT = MakeResult(0x8001011Fu);
// A call that arrives while the server is stopping.
inline constexpr HRESULT CO_E_SERVER_STOPPING = MakeResult(0x80080008u);

// "0x80004002" or "0x80004002 description".
std::string FormatHresultMessage(HRESULT code, std::string_view description = {});

// The code at the start of such a message; none when it does not begin with one.
std::optional<HRESULT> ParseHresultMessage(std::string_view message);

// The code that a bus error stands for: the carried code for "VELK.Error.HRESULT",
// RPC_E_TIMEOUT for a call that timed out, RPC_E_DISCONNECTED for a peer that left or is
// not on the bus, E_NOINTERFACE for an unknown object, interface or method, E_INVALIDARG
// for arguments of the wrong types, E_ACCESSDENIED for a refusal by the bus policy, and
// E_FAIL for anything else.
HRESULT HresultFromBusError(std::string_view name, std::string_view message);

}  // namespace velk

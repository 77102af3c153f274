#pragma once
// Names and short texts of the result codes that the server returns, so that the client
// shows "OPC_E_UNKNOWNITEMID (0xC0040007): unknown item ID" instead of a bare number.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velk::client {

using ResultCode = std::int32_t;

// The standard name of a code ("" for codes this client does not know).
std::string_view ResultName(ResultCode code);
// A short lower-case text of what the code means ("" for unknown codes).
std::string_view ResultMeaning(ResultCode code);
// The code as 0x and eight upper-case hexadecimal digits.
std::string ResultHex(ResultCode code);
// "NAME (0xXXXXXXXX): meaning", shortened to the parts that are known: "0x12345678" alone
// for a code without a name.
std::string DescribeResult(ResultCode code);

// The server's error message "0xXXXXXXXX description" (the description optional, after
// one blank); none when the message does not begin with such a code.
struct ServerResult {
    ResultCode code = 0;
    std::string description;
};
std::optional<ServerResult> ParseResultMessage(std::string_view message);

}  // namespace velk::client

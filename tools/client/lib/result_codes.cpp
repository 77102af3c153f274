#include "tools/client/lib/result_codes.h"

#include <charconv>
#include <cstdio>

#include "opc/opc_result.h"

namespace velk::client {
namespace {

struct KnownCode {
    std::uint32_t code;
    std::string_view name;
    std::string_view meaning;
};

// OPC_E_INVALID_PID and the AE code OPC_E_INVALIDBRANCHNAME share 0xC0040203; the DA name
// comes first because the DA commands are the ones that meet it.
constexpr KnownCode kCodes[] = {
    {0x00000000u, "S_OK", "success"},
    {0x00000001u, "S_FALSE", "success with a qualification (some items failed)"},
    {0x80004001u, "E_NOTIMPL", "not implemented"},
    {0x80004002u, "E_NOINTERFACE", "interface not supported"},
    {0x80004003u, "E_POINTER", "invalid pointer"},
    {0x80004004u, "E_ABORT", "operation aborted"},
    {0x80004005u, "E_FAIL", "unspecified failure"},
    {0x8000FFFFu, "E_UNEXPECTED", "unexpected failure"},
    {0x80070005u, "E_ACCESSDENIED", "access denied"},
    {0x80070006u, "E_HANDLE", "invalid handle"},
    {0x8007000Eu, "E_OUTOFMEMORY", "out of memory"},
    {0x80070057u, "E_INVALIDARG", "invalid argument"},
    {0x80010108u, "RPC_E_DISCONNECTED", "the object has disconnected from its clients"},
    {0x8001011Fu, "RPC_E_TIMEOUT", "the call timed out"},
    {0x80080008u, "CO_E_SERVER_STOPPING", "the server is stopping"},
    {0x80020005u, "DISP_E_TYPEMISMATCH", "type mismatch"},
    {0x80020008u, "DISP_E_BADVARTYPE", "bad variant type"},
    {0x8002000Au, "DISP_E_OVERFLOW", "value out of range"},
    {0x80040003u, "OLE_E_NOCONNECTION", "no such connection"},
    {0x80040064u, "DV_E_FORMATETC", "invalid format"},
    {0x80040069u, "DV_E_TYMED", "invalid medium"},
    {0x80040110u, "CLASS_E_NOAGGREGATION", "class does not support aggregation"},
    {0x80040111u, "CLASS_E_CLASSNOTAVAILABLE", "class not available"},
    {0x80040154u, "REGDB_E_CLASSNOTREG", "class not registered"},
    {0x80040200u, "CONNECT_E_NOCONNECTION", "no such connection"},
    {0x80040201u, "CONNECT_E_ADVISELIMIT", "too many connections"},
    {0x80040202u, "CONNECT_E_CANNOTCONNECT", "the sink cannot be connected"},
    {0x80040203u, "CONNECT_E_OVERRIDDEN", "connection overridden"},
    {0xC0040001u, "OPC_E_INVALIDHANDLE", "invalid handle"},
    {0xC0040004u, "OPC_E_BADTYPE", "the value cannot be converted to the item's type"},
    {0xC0040005u, "OPC_E_PUBLIC", "not allowed on a public group"},
    {0xC0040006u, "OPC_E_BADRIGHTS", "the item's access rights do not allow the operation"},
    {0xC0040007u, "OPC_E_UNKNOWNITEMID", "unknown item ID"},
    {0xC0040008u, "OPC_E_INVALIDITEMID", "invalid item ID"},
    {0xC0040009u, "OPC_E_INVALIDFILTER", "invalid filter"},
    {0xC004000Au, "OPC_E_UNKNOWNPATH", "unknown access path"},
    {0xC004000Bu, "OPC_E_RANGE", "value out of range"},
    {0xC004000Cu, "OPC_E_DUPLICATENAME", "duplicate name"},
    {0x0004000Du, "OPC_S_UNSUPPORTEDRATE", "the server revised the update rate"},
    {0x0004000Eu, "OPC_S_CLAMP", "the value was clamped"},
    {0x0004000Fu, "OPC_S_INUSE", "in use"},
    {0xC0040010u, "OPC_E_INVALIDCONFIGFILE", "invalid configuration file"},
    {0xC0040011u, "OPC_E_NOTFOUND", "not found"},
    {0xC0040203u, "OPC_E_INVALID_PID", "property not available for the item"},
    {0x00040200u, "OPC_S_ALREADYACKED", "the condition was already acknowledged"},
    {0x00040201u, "OPC_S_INVALIDBUFFERTIME", "the server revised the buffer time"},
    {0x00040202u, "OPC_S_INVALIDMAXSIZE", "the server revised the maximum size"},
    {0x00040203u, "OPC_S_INVALIDKEEPALIVETIME", "the server revised the keep-alive time"},
    {0xC0040204u, "OPC_E_INVALIDTIME", "invalid time"},
    {0xC0040205u, "OPC_E_BUSY", "busy"},
    {0xC0040206u, "OPC_E_NOINFO", "no information"},
};

const KnownCode* Find(ResultCode code) {
    for (const KnownCode& known : kCodes) {
        if (known.code == static_cast<std::uint32_t>(code)) return &known;
    }
    return nullptr;
}

}  // namespace

std::string_view ResultName(ResultCode code) {
    const KnownCode* known = Find(code);
    return known ? known->name : std::string_view{};
}

std::string_view ResultMeaning(ResultCode code) {
    const KnownCode* known = Find(code);
    return known ? known->meaning : std::string_view{};
}

std::string ResultHex(ResultCode code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

std::string DescribeResult(ResultCode code) {
    const KnownCode* known = Find(code);
    if (!known) return ResultHex(code);
    std::string text(known->name);
    text += " (" + ResultHex(code) + "): ";
    text += known->meaning;
    return text;
}

std::optional<ServerResult> ParseResultMessage(std::string_view message) {
    if (message.size() < 10 || message[0] != '0' || (message[1] != 'x' && message[1] != 'X')) {
        return std::nullopt;
    }
    std::uint32_t code = 0;
    const char* digits = message.data() + 2;
    const auto result = std::from_chars(digits, digits + 8, code, 16);
    if (result.ec != std::errc{} || result.ptr != digits + 8) return std::nullopt;
    ServerResult parsed{static_cast<ResultCode>(code), {}};
    if (message.size() > 10) {
        if (message[10] != ' ') return std::nullopt;
        parsed.description = std::string(message.substr(11));
    }
    return parsed;
}

}  // namespace velk::client

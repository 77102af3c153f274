// Texts for result codes in trace lines. There is no system message table here, so the
// codes the system returns carry the fixed English texts that operators know them by.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/trace_file.h"

namespace velk {
namespace {
struct KnownResult {
    std::uint32_t code;
    const char* text;
};

constexpr KnownResult kKnownResults[] = {
    {0x00000001u, "Incorrect function."},
    {0x80004001u, "Not implemented"},
    {0x80004002u, "No such interface supported"},
    {0x80004003u, "Invalid pointer"},
    {0x80004004u, "Operation aborted"},
    {0x80004005u, "Unspecified error"},
    {0x8000FFFFu, "Catastrophic failure"},
    {0x80070002u, "The system cannot find the file specified."},
    {0x80070003u, "The system cannot find the path specified."},
    {0x80070005u, "Access is denied."},
    {0x80070006u, "The handle is invalid."},
    {0x8007000Eu, "Not enough memory resources are available to complete this operation."},
    {0x80070057u, "The parameter is incorrect."},
    {0x80010105u, "The server threw an exception."},
    {0x80010108u, "The object invoked has disconnected from its clients."},
    {0x80020005u, "Type mismatch."},
    {0x80020008u, "Bad variable type."},
    {0x8002000Au, "Out of present range."},
    {0x80040110u, "Class does not support aggregation (or class object is remote)"},
    {0x80040111u, "ClassFactory cannot supply requested class"},
    {0x80040154u, "Class not registered"},
    // OPC Data Access.
    {0xC0040001u, "The value of the handle is invalid."},
    {0xC0040004u,
     "The server cannot convert the data between the specified format and/or requested data "
     "type and the canonical data type."},
    {0xC0040005u, "The requested operation cannot be done on a public group."},
    {0xC0040006u, "The item's access rights do not allow the operation."},
    {0xC0040007u,
     "The item ID is not defined in the server address space or no longer exists in the "
     "server address space."},
    {0xC0040008u, "The item ID doesn't conform to the server's syntax."},
    {0xC0040009u, "The filter string was not valid."},
    {0xC004000Au, "The item's access path is not known to the server."},
    {0xC004000Bu, "The value was out of range."},
    {0xC004000Cu, "Duplicate name not allowed."},
    {0x0004000Du,
     "The server does not support the requested data rate but will use the closest available "
     "rate."},
    {0x0004000Eu, "A value passed to write was accepted but the output was clamped."},
    {0x0004000Fu, "The operation cannot be performed because the object is being referenced."},
    {0xC0040010u, "The server's configuration file is an invalid format."},
    {0xC0040011u, "The requested object (e.g. a public group) was not found."},
    {0xC0040203u, "The specified property ID is not valid for the item."},
    // OPC Alarms & Events.
    {0x00040200u, "The condition has already been acknowleged"},
    {0x00040201u, "The buffer time parameter was invalid"},
    {0x00040202u, "The max size parameter was invalid"},
    {0x00040203u, "The KeepAliveTime parameter was invalid"},
    {0xC0040204u, "The time does not match the latest active time"},
    {0xC0040205u, "A refresh is currently in progress"},
    {0xC0040206u, "Information is not available"},
};
}  // namespace

std::string ResultText(HRESULT value) {
    const auto code = static_cast<std::uint32_t>(value);
    for (const KnownResult& known : kKnownResults) {
        if (known.code == code) return known.text;
    }
    char buffer[64];
    if (code >= 0x80040200u && code <= 0x8004FFFFu) {
        const auto dispatchError = static_cast<std::uint16_t>(code - 0x80040200u);
        if (dispatchError != 0) {
            std::snprintf(buffer, sizeof buffer, "IDispatch error #%d", dispatchError);
            return buffer;
        }
    }
    std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX", static_cast<unsigned long>(code));
    return buffer;
}

std::string SystemErrorText(int errorNumber) {
    if (errorNumber == 0) return {};
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not live in the buffer.
    const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
    std::string result = text ? text : "";
    if (result.rfind("Unknown error", 0) == 0) return {};
    return result;
}

}  // namespace velk

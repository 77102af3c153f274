#include "tests/support/server_store_text.h"

#include <cstdio>
#include <fstream>

namespace velk::testing {
namespace {

constexpr const char* kKey = "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server";

std::string Dword(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x", value);
    return text;
}

}  // namespace

std::string ServerStoreText::Text() const {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    if (changelessUpdate)
        text += std::string(kKey) + "]\r\n\"ChangelessUpdate\"=dword:00000001\r\n\r\n";
    if (!traceFile.empty()) {
        text += std::string(kKey) + "\\TraceFile]\r\n\"FileName\"=\"" + traceFile + "\"\r\n\r\n";
    }
    if (!tcpPorts.empty()) {
        text += std::string(kKey) + "\\TcpPorts]\r\n";
        for (const auto& [address, port] : tcpPorts) {
            text += "\"" + address + "\"=" + Dword(port) + "\r\n";
        }
        text += "\r\n";
    }
    // The servers of other tests stay off the machine's OPC UA port unless a test asks.
    if (extra.find("\\OpcUa]") == std::string::npos) {
        text += std::string(kKey) + "\\OpcUa]\r\n\"Enabled\"=dword:00000000\r\n\r\n";
    }
    text += extra;
    if (!recentFile.empty()) {
        text += std::string(kKey) + "\\Recent File List]\r\n\"File1\"=\"" + recentFile + "\"\r\n";
    }
    return text;
}

bool ServerStoreText::WriteTo(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << Text();
    return static_cast<bool>(out.flush());
}

}  // namespace velk::testing

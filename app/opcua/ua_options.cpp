#include "app/opcua/ua_options.h"

#include <algorithm>
#include <vector>

#include "opcua/security/security_policy.h"
#include "platform/ipv4_address.h"

namespace velk {
namespace {

// The entries of the comma-separated list, blanks around each removed.
std::vector<std::string> SplitAddresses(const std::string& text) {
    std::vector<std::string> entries;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::size_t end = comma == std::string::npos ? text.size() : comma;
        entries.emplace_back(TrimAddressBlanks(std::string_view(text).substr(start, end - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return entries;
}

std::string NonEmpty(const std::optional<std::string>& value) {
    return value && !value->empty() ? *value : std::string();
}

}  // namespace

std::string DefaultPkiDirectory(bool service, const UaEnvironment& environment) {
    if (service) return "/var/lib/velkopc/pki";
    if (const std::string data = NonEmpty(environment("XDG_DATA_HOME")); !data.empty()) {
        return data + "/velkopc/pki";
    }
    if (const std::string home = NonEmpty(environment("HOME")); !home.empty()) {
        return home + "/.local/share/velkopc/pki";
    }
    return {};
}

bool ResolveUaOptions(const OpcUaSettings& s, const UaHostFacts& host, UaFrontOptions& options,
                      std::string& message, std::string* setting) {
    const auto refuse = [&](const char* name, const std::string& text) {
        message = text;
        if (setting != nullptr) *setting = name;
        return false;
    };
    if (s.Port == 0 || s.Port > 65535) return refuse("Port", "The port must be 1 to 65535.");

    // "0.0.0.0" alone is the same as no address: every address.
    std::vector<std::string> addresses;
    const bool every = TrimAddressBlanks(s.BindAddresses).empty() ||
                       CanonicalIpv4Text(s.BindAddresses) == std::string("0.0.0.0");
    if (!every) {
        for (const std::string& entry : SplitAddresses(s.BindAddresses)) {
            if (entry.empty()) {
                return refuse("BindAddresses", "The bind addresses hold an empty entry.");
            }
            const auto address = CanonicalIpv4Text(entry);
            if (!address) {
                return refuse("BindAddresses", "\"" + entry + "\" is not an IPv4 address.");
            }
            if (*address == "0.0.0.0") {
                return refuse("BindAddresses",
                              "0.0.0.0 stands for every address; it cannot be listed with others.");
            }
            // A second listener on the same address would never bind and be retried forever.
            if (std::find(addresses.begin(), addresses.end(), *address) != addresses.end()) {
                return refuse("BindAddresses", "The address " + *address + " is listed twice.");
            }
            addresses.push_back(*address);
        }
    }
    if (every && host.hostName.empty()) {
        return refuse("BindAddresses",
                      "The host has no name for the endpoint URL; list the addresses to bind.");
    }

    std::string pki = s.PkiDirectory.empty() ? host.defaultPkiDirectory : s.PkiDirectory;
    if (pki.empty()) {
        return refuse("PkiDirectory",
                      "Neither HOME nor XDG_DATA_HOME is set; enter the PKI directory.");
    }
    // The service's working directory is no place the administrator chose.
    if (pki.front() != '/') {
        return refuse("PkiDirectory", "The PKI directory must be an absolute path.");
    }
    while (pki.size() > 1 && pki.back() == '/') pki.pop_back();

    if (s.MaxSessions == 0 || s.MaxSessions > kUaMostSessions) {
        return refuse("MaxSessions", "The number of sessions must be 1 to 10000.");
    }
    if (s.MaxSubscriptionsPerSession == 0 ||
        s.MaxSubscriptionsPerSession > kUaMostSubscriptionsPerSession) {
        return refuse("MaxSubscriptionsPerSession",
                      "The subscriptions per session must be 1 to 10000.");
    }
    if (s.MaxMonitoredItems == 0 || s.MaxMonitoredItems > kUaMostMonitoredItems) {
        return refuse("MaxMonitoredItems", "The monitored items must be 1 to 10000000.");
    }

    options = {};
    options.bindAddresses = addresses;
    options.port = static_cast<std::uint16_t>(s.Port);
    options.maxConnections = std::size_t{s.MaxSessions} + kUaDiscoveryConnections;
    options.pkiDirectory = pki;
    options.allowSecurityNone = s.AllowSecurityNone != 0;

    ua::UaServerConfig& server = options.server;
    const std::string port = std::to_string(s.Port);
    if (every) {
        server.endpointUrls.push_back("opc.tcp://" + host.hostName + ":" + port);
    } else {
        for (const std::string& address : addresses) {
            server.endpointUrls.push_back("opc.tcp://" + address + ":" + port);
        }
    }
    if (options.allowSecurityNone) {
        server.endpoints.push_back(
            {std::string(ua::security::NonePolicy().uri), ua::MessageSecurityMode::kNone});
    }
    for (const ua::security::SecurityPolicy& policy : ua::security::SecurityPolicies()) {
        if (!policy.secured()) continue;
        for (const auto mode :
             {ua::MessageSecurityMode::kSign, ua::MessageSecurityMode::kSignAndEncrypt}) {
            server.endpoints.push_back({std::string(policy.uri), mode});
        }
    }
    server.allowAnonymous = s.AllowAnonymous != 0;
    server.maxSessions = s.MaxSessions;
    server.subscriptionLimits.maxSubscriptionsPerSession = s.MaxSubscriptionsPerSession;
    server.subscriptionLimits.maxMonitoredItems = s.MaxMonitoredItems;
    // One call never asks for more items than the server holds.
    server.subscriptionLimits.maxMonitoredItemsPerCall =
        std::min(server.subscriptionLimits.maxMonitoredItemsPerCall, s.MaxMonitoredItems);
    server.serviceLimits.maxMonitoredItemsPerCall =
        std::min(server.serviceLimits.maxMonitoredItemsPerCall, s.MaxMonitoredItems);
    return true;
}

}  // namespace velk

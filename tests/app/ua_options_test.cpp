// The UA front's options from the "OpcUa" settings: what is refused and by which setting,
// the endpoint URLs and offers, the server's bounds, and the PKI directory's default.
#include "app/opcua/ua_options.h"

#include <gtest/gtest.h>

#include <map>

namespace velk {
namespace {

const UaHostFacts kHost{"plant-pc", "/home/op/.local/share/velkopc/pki"};

TEST(UaOptions, UnusableSettingsAreRefusedByTheirSetting) {
    struct Case {
        const char* what;
        const char* setting;
        void (*change)(OpcUaSettings&);
    };
    const Case cases[] = {
        {"port 0", "Port", [](OpcUaSettings& s) { s.Port = 0; }},
        {"port past 16 bits", "Port", [](OpcUaSettings& s) { s.Port = 70000; }},
        {"host name", "BindAddresses", [](OpcUaSettings& s) { s.BindAddresses = "plant-pc"; }},
        {"octet 256", "BindAddresses", [](OpcUaSettings& s) { s.BindAddresses = "10.0.0.256"; }},
        {"second bad", "BindAddresses",
         [](OpcUaSettings& s) { s.BindAddresses = "10.0.0.1,10.0.0"; }},
        {"empty entry", "BindAddresses",
         [](OpcUaSettings& s) { s.BindAddresses = "10.0.0.1,,10.0.0.2"; }},
        {"trailing comma", "BindAddresses",
         [](OpcUaSettings& s) { s.BindAddresses = "10.0.0.1,"; }},
        {"twice", "BindAddresses",
         [](OpcUaSettings& s) { s.BindAddresses = "10.0.0.1, 10.0.0.1"; }},
        {"any among others", "BindAddresses",
         [](OpcUaSettings& s) { s.BindAddresses = "127.0.0.1,0.0.0.0"; }},
        {"relative pki", "PkiDirectory", [](OpcUaSettings& s) { s.PkiDirectory = "pki"; }},
        {"no sessions", "MaxSessions", [](OpcUaSettings& s) { s.MaxSessions = 0; }},
        {"too many sessions", "MaxSessions", [](OpcUaSettings& s) { s.MaxSessions = 10'001; }},
        {"no subscriptions", "MaxSubscriptionsPerSession",
         [](OpcUaSettings& s) { s.MaxSubscriptionsPerSession = 0; }},
        {"too many subscriptions", "MaxSubscriptionsPerSession",
         [](OpcUaSettings& s) { s.MaxSubscriptionsPerSession = 1'000'000; }},
        {"no items", "MaxMonitoredItems", [](OpcUaSettings& s) { s.MaxMonitoredItems = 0; }},
        {"too many items", "MaxMonitoredItems",
         [](OpcUaSettings& s) { s.MaxMonitoredItems = 4'000'000'000u; }},
    };
    for (const Case& c : cases) {
        OpcUaSettings s;
        c.change(s);
        UaFrontOptions options;
        std::string message, setting;
        EXPECT_FALSE(ResolveUaOptions(s, kHost, options, message, &setting)) << c.what;
        EXPECT_EQ(setting, c.setting) << c.what;
        EXPECT_FALSE(message.empty()) << c.what;
    }
}

TEST(UaOptions, EveryAddressIsServedUnderTheHostNameAndListedOnesUnderTheirOwn) {
    OpcUaSettings s;
    s.Port = 48400;
    UaFrontOptions options;
    std::string message;
    ASSERT_TRUE(ResolveUaOptions(s, kHost, options, message)) << message;
    EXPECT_TRUE(options.bindAddresses.empty());
    EXPECT_EQ(options.port, 48400);
    EXPECT_EQ(options.server.endpointUrls, std::vector<std::string>{"opc.tcp://plant-pc:48400"});

    s.BindAddresses = "0.0.0.0";
    ASSERT_TRUE(ResolveUaOptions(s, kHost, options, message)) << message;
    EXPECT_TRUE(options.bindAddresses.empty()) << "0.0.0.0 alone is every address";

    s.BindAddresses = " 127.0.0.1 ,\t192.168.10.5";
    ASSERT_TRUE(ResolveUaOptions(s, kHost, options, message)) << message;
    EXPECT_EQ(options.bindAddresses, (std::vector<std::string>{"127.0.0.1", "192.168.10.5"}));
    EXPECT_EQ(
        options.server.endpointUrls,
        (std::vector<std::string>{"opc.tcp://127.0.0.1:48400", "opc.tcp://192.168.10.5:48400"}));

    // Without a host name every address has no URL to give.
    s.BindAddresses.clear();
    EXPECT_FALSE(ResolveUaOptions(s, UaHostFacts{"", "/pki"}, options, message));
}

TEST(UaOptions, NoneAndAnonymousAreOfferedOnlyWhenAllowedAndTheLimitsReachTheServer) {
    OpcUaSettings s;
    UaFrontOptions options;
    std::string message;
    ASSERT_TRUE(ResolveUaOptions(s, kHost, options, message)) << message;
    EXPECT_FALSE(options.allowSecurityNone);
    EXPECT_FALSE(options.server.allowAnonymous);
    std::map<std::string, int> modesByPolicy;
    for (const ua::EndpointOffer& offer : options.server.endpoints) {
        EXPECT_NE(offer.securityMode, ua::MessageSecurityMode::kNone) << offer.securityPolicyUri;
        ++modesByPolicy[offer.securityPolicyUri];
    }
    // Sign and SignAndEncrypt of each secured policy.
    EXPECT_EQ(modesByPolicy.size(), 3u);
    for (const auto& [policy, modes] : modesByPolicy) EXPECT_EQ(modes, 2) << policy;

    s.AllowSecurityNone = 1;
    s.AllowAnonymous = 7;
    s.MaxSessions = 3;
    s.MaxSubscriptionsPerSession = 4;
    s.MaxMonitoredItems = 500;
    ASSERT_TRUE(ResolveUaOptions(s, kHost, options, message)) << message;
    EXPECT_TRUE(options.allowSecurityNone);
    EXPECT_TRUE(options.server.allowAnonymous);
    ASSERT_FALSE(options.server.endpoints.empty());
    EXPECT_EQ(options.server.endpoints.front().securityMode, ua::MessageSecurityMode::kNone);
    EXPECT_EQ(options.server.endpoints.front().securityPolicyUri,
              "http://opcfoundation.org/UA/SecurityPolicy#None");
    EXPECT_EQ(options.server.maxSessions, 3u);
    EXPECT_GT(options.maxConnections, 3u) << "room to discover a full server";
    EXPECT_LE(options.maxConnections, 3u + 20u);
    EXPECT_EQ(options.server.subscriptionLimits.maxSubscriptionsPerSession, 4u);
    EXPECT_EQ(options.server.subscriptionLimits.maxMonitoredItems, 500u);
    EXPECT_LE(options.server.subscriptionLimits.maxMonitoredItemsPerCall, 500u);
    EXPECT_LE(options.server.serviceLimits.maxMonitoredItemsPerCall, 500u);
}

TEST(UaOptions, ThePkiDirectoryIsTheServicesTheUsersOrTheOneGiven) {
    const auto env = [](std::map<std::string, std::string> vars) {
        return [vars](const char* name) -> std::optional<std::string> {
            const auto it = vars.find(name);
            if (it == vars.end()) return std::nullopt;
            return it->second;
        };
    };
    EXPECT_EQ(DefaultPkiDirectory(true, env({{"XDG_DATA_HOME", "/d"}})), "/var/lib/velkopc/pki");
    EXPECT_EQ(DefaultPkiDirectory(false, env({{"XDG_DATA_HOME", "/d"}, {"HOME", "/h"}})),
              "/d/velkopc/pki");
    EXPECT_EQ(DefaultPkiDirectory(false, env({{"XDG_DATA_HOME", ""}, {"HOME", "/h"}})),
              "/h/.local/share/velkopc/pki");
    EXPECT_EQ(DefaultPkiDirectory(false, env({})), "");

    OpcUaSettings s;
    UaFrontOptions options;
    std::string message, setting;
    ASSERT_TRUE(ResolveUaOptions(s, kHost, options, message)) << message;
    EXPECT_EQ(options.pkiDirectory, kHost.defaultPkiDirectory);
    s.PkiDirectory = "/srv/pki/";
    ASSERT_TRUE(ResolveUaOptions(s, kHost, options, message)) << message;
    EXPECT_EQ(options.pkiDirectory, "/srv/pki");
    s.PkiDirectory.clear();
    EXPECT_FALSE(ResolveUaOptions(s, UaHostFacts{"plant-pc", ""}, options, message, &setting));
    EXPECT_EQ(setting, "PkiDirectory");
}

}  // namespace
}  // namespace velk

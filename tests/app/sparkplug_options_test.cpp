// The publisher's options from the "Sparkplug" settings: what is refused, and the defaults
// that depend on the machine (host name, trace directory).
#include "app/sparkplug/sparkplug_options.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

SparkplugSettings Usable() {
    SparkplugSettings s;
    s.Enabled = 1;
    s.BrokerUrl = "tcp://127.0.0.1:1883";
    s.GroupId = "Plant1";
    return s;
}

TEST(SparkplugOptions, UnusableSettingsAreRefusedWithAMessage) {
    struct Case {
        const char* what;
        void (*change)(SparkplugSettings&);
    };
    const Case cases[] = {
        {"mqtt scheme", [](SparkplugSettings& s) { s.BrokerUrl = "mqtt://h:1883"; }},
        {"bare scheme", [](SparkplugSettings& s) { s.BrokerUrl = "tcp://"; }},
        {"no group", [](SparkplugSettings& s) { s.GroupId = ""; }},
        {"wildcard group", [](SparkplugSettings& s) { s.GroupId = "Plant+"; }},
        {"slash in node", [](SparkplugSettings& s) { s.EdgeNodeId = "a/b"; }},
        {"host with #", [](SparkplugSettings& s) { s.PrimaryHostId = "#"; }},
        {"deadband text", [](SparkplugSettings& s) { s.Deadband = "5%"; }},
        {"deadband over", [](SparkplugSettings& s) { s.Deadband = "100.5"; }},
        {"deadband negative", [](SparkplugSettings& s) { s.Deadband = "-1"; }},
        {"zero period", [](SparkplugSettings& s) { s.PublishPeriod = 0; }},
        {"zero store", [](SparkplugSettings& s) { s.StoreLimitMB = 0; }},
        {"CA over tcp", [](SparkplugSettings& s) { s.CaFile = "/ca.crt"; }},
        {"cert without key",
         [](SparkplugSettings& s) {
             s.BrokerUrl = "ssl://h:8883";
             s.CertFile = "/c.crt";
         }},
        {"password without user", [](SparkplugSettings& s) { s.PasswordFile = "/pw"; }},
    };
    for (const Case& c : cases) {
        SparkplugSettings s = Usable();
        c.change(s);
        SparkplugOptions options;
        std::string message;
        EXPECT_FALSE(ResolveSparkplugOptions(s, "host1", "", options, message)) << c.what;
        EXPECT_FALSE(message.empty()) << c.what;
    }
}

TEST(SparkplugOptions, TheHostNameTheClientIdAndTheStoreBesideTheTraceAreTheDefaults) {
    SparkplugSettings s = Usable();
    s.Deadband = "2.5";
    s.AllowWrites = 3;
    s.StoreLimitMB = 2;
    SparkplugOptions o;
    std::string message;
    ASSERT_TRUE(ResolveSparkplugOptions(s, "host1", "/var/log/velkopc/trace.txt", o, message))
        << message;
    EXPECT_EQ(o.node.edgeNodeId, "host1");
    EXPECT_EQ(o.client.clientId, "Plant1-host1");
    EXPECT_EQ(o.storeDirectory, "/var/log/velkopc/sparkplug");
    EXPECT_EQ(o.storeLimitBytes, 2u * 1024 * 1024);
    EXPECT_DOUBLE_EQ(o.node.deadbandPercent, 2.5);
    EXPECT_TRUE(o.node.allowWrites);

    // Without a trace file, the working directory; given values win over the defaults.
    s.EdgeNodeId = "Edge1";
    s.ClientId = "mine";
    ASSERT_TRUE(ResolveSparkplugOptions(s, "host1", "", o, message));
    EXPECT_EQ(o.node.edgeNodeId, "Edge1");
    EXPECT_EQ(o.client.clientId, "mine");
    EXPECT_EQ(o.storeDirectory, "sparkplug");
    // A host name that is no topic id needs an edge node id of its own.
    s.EdgeNodeId.clear();
    EXPECT_FALSE(ResolveSparkplugOptions(s, "", "", o, message));
}

}  // namespace
}  // namespace velk

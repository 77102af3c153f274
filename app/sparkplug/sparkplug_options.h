#pragma once
// The "Sparkplug" settings as the publisher takes them: defaults filled in (the host name as
// the edge node, the store beside the trace file) and every value checked, so that both the
// dialog and the server's start refuse the same settings with the same message.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "app/server_settings.h"
#include "platform/mqtt_client.h"
#include "sparkplug/edge_node.h"

namespace velk {

struct SparkplugOptions {
    MqttClientSettings client;  // without the password, which is read at the start
    std::string passwordFile;
    sparkplug::EdgeNodeOptions node;
    std::string storeDirectory;
    std::uint64_t storeLimitBytes = 0;
    std::chrono::milliseconds publishPeriod{1000};
};

// The options; false with the message when a setting is unusable, and that setting's value
// name in `setting` ("BrokerUrl", ...) when one is given.
bool ResolveSparkplugOptions(const SparkplugSettings& settings, const std::string& hostName,
                             const std::string& traceFileName, SparkplugOptions& options,
                             std::string& message, std::string* setting = nullptr);

// The deadband text as a percent from 0 to 100; none when it is no such number.
std::optional<double> ParseDeadbandPercent(const std::string& text);

}  // namespace velk

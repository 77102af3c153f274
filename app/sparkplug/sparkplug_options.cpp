#include "app/sparkplug/sparkplug_options.h"

#include <charconv>
#include <optional>

#include "sparkplug/sparkplug_topics.h"

namespace velk {
namespace {

constexpr std::uint32_t kLongestPeriodMs = 3'600'000;
constexpr std::uint32_t kLargestStoreMb = 1'000'000;

std::string DirectoryPart(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool HasScheme(const std::string& url, std::string_view scheme) {
    return url.size() > scheme.size() && url.compare(0, scheme.size(), scheme) == 0;
}

}  // namespace

std::optional<double> ParseDeadbandPercent(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || rest != end || !(value >= 0.0 && value <= 100.0)) {
        return std::nullopt;
    }
    return value;
}

bool ResolveSparkplugOptions(const SparkplugSettings& s, const std::string& hostName,
                             const std::string& traceFileName, SparkplugOptions& options,
                             std::string& message, std::string* setting) {
    const auto refuse = [&](const char* name, const std::string& text) {
        message = text;
        if (setting != nullptr) *setting = name;
        return false;
    };
    const bool tls = HasScheme(s.BrokerUrl, "ssl://");
    if (!tls && !HasScheme(s.BrokerUrl, "tcp://")) {
        return refuse("BrokerUrl", "The broker URL must begin with tcp:// or ssl://.");
    }
    if (!sparkplug::IsValidTopicId(s.GroupId)) {
        return refuse("GroupId", "The group id must be given, without '/', '+' or '#'.");
    }
    const std::string edgeNode = s.EdgeNodeId.empty() ? hostName : s.EdgeNodeId;
    if (!sparkplug::IsValidTopicId(edgeNode)) {
        return refuse("EdgeNodeId", "The edge node id must be given, without '/', '+' or '#'.");
    }
    if (!s.PrimaryHostId.empty() && !sparkplug::IsValidTopicId(s.PrimaryHostId)) {
        return refuse("PrimaryHostId", "The primary host id may not hold '/', '+' or '#'.");
    }
    const auto deadband = ParseDeadbandPercent(s.Deadband.empty() ? "0" : s.Deadband);
    if (!deadband) return refuse("Deadband", "The deadband must be a percent from 0 to 100.");
    if (s.PublishPeriod == 0 || s.PublishPeriod > kLongestPeriodMs) {
        return refuse("PublishPeriod", "The publish period must be 1 to 3600000 ms.");
    }
    if (s.StoreLimitMB == 0 || s.StoreLimitMB > kLargestStoreMb) {
        return refuse("StoreLimitMB", "The store limit must be 1 to 1000000 MB.");
    }
    if (!tls && !(s.CaFile.empty() && s.CertFile.empty() && s.KeyFile.empty())) {
        return refuse("CaFile", "Certificates need an ssl:// broker URL.");
    }
    if (s.CertFile.empty() != s.KeyFile.empty()) {
        return refuse("CertFile",
                      "A client certificate needs its key file, and a key file its certificate.");
    }
    if (s.UserName.empty() && !s.PasswordFile.empty()) {
        return refuse("UserName", "A password file needs a user name.");
    }

    options = {};
    options.client.serverUrl = s.BrokerUrl;
    options.client.clientId = s.ClientId.empty() ? s.GroupId + "-" + edgeNode : s.ClientId;
    options.client.userName = s.UserName;
    options.client.caFile = s.CaFile;
    options.client.certFile = s.CertFile;
    options.client.keyFile = s.KeyFile;
    options.passwordFile = s.PasswordFile;
    options.node = {s.GroupId, edgeNode, *deadband, s.AllowWrites != 0, s.PrimaryHostId};
    if (!s.StoreDirectory.empty()) {
        options.storeDirectory = s.StoreDirectory;
    } else {
        // Beside the trace, which the service can write to; else the working directory.
        const std::string traceDirectory = DirectoryPart(traceFileName);
        options.storeDirectory = traceDirectory.empty()  ? "sparkplug"
                                 : traceDirectory == "/" ? "/sparkplug"
                                                         : traceDirectory + "/sparkplug";
    }
    options.storeLimitBytes = std::uint64_t{s.StoreLimitMB} << 20;
    options.publishPeriod = std::chrono::milliseconds(s.PublishPeriod);
    return true;
}

}  // namespace velk

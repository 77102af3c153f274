#include "sparkplug/sparkplug_topics.h"

namespace velk::sparkplug {

std::string_view MessageTypeName(MessageType type) {
    switch (type) {
        case MessageType::kNBirth:
            return "NBIRTH";
        case MessageType::kNDeath:
            return "NDEATH";
        case MessageType::kDBirth:
            return "DBIRTH";
        case MessageType::kDDeath:
            return "DDEATH";
        case MessageType::kNData:
            return "NDATA";
        case MessageType::kDData:
            return "DDATA";
        case MessageType::kNCmd:
            return "NCMD";
        case MessageType::kDCmd:
            return "DCMD";
        case MessageType::kState:
            return "STATE";
    }
    return {};
}

bool IsValidTopicId(std::string_view id) {
    return !id.empty() && id.find_first_of("/+#") == std::string_view::npos;
}

SparkplugTopics::SparkplugTopics(std::string groupId, std::string edgeNodeId)
    : prefix_(std::string(kNamespace) + "/" + groupId + "/"), edgeNodeId_(std::move(edgeNodeId)) {}

std::string SparkplugTopics::Node(MessageType type) const {
    return prefix_ + std::string(MessageTypeName(type)) + "/" + edgeNodeId_;
}

std::string SparkplugTopics::Device(MessageType type, std::string_view deviceId) const {
    return Node(type) + "/" + std::string(deviceId);
}

std::string SparkplugTopics::State(std::string_view hostId) {
    return std::string(kNamespace) + "/STATE/" + std::string(hostId);
}

std::string SparkplugTopics::DeviceCommandFilter() const { return Node(MessageType::kDCmd) + "/+"; }

std::optional<SparkplugTopics::Command> SparkplugTopics::ParseCommand(
    std::string_view topic) const {
    const std::string node = Node(MessageType::kNCmd);
    if (topic == node) return Command{MessageType::kNCmd, {}};
    const std::string devices = Node(MessageType::kDCmd) + "/";
    if (topic.size() <= devices.size() || topic.substr(0, devices.size()) != devices) {
        return std::nullopt;
    }
    const std::string_view device = topic.substr(devices.size());
    if (!IsValidTopicId(device)) return std::nullopt;
    return Command{MessageType::kDCmd, std::string(device)};
}

}  // namespace velk::sparkplug

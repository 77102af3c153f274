#pragma once
// The topic names of one edge node: spBv1.0/<GroupId>/<type>/<EdgeNodeId>[/<DeviceId>], and
// a primary host's spBv1.0/STATE/<HostId>.
#include <optional>
#include <string>
#include <string_view>

namespace velk::sparkplug {

inline constexpr std::string_view kNamespace = "spBv1.0";

enum class MessageType { kNBirth, kNDeath, kDBirth, kDDeath, kNData, kDData, kNCmd, kDCmd, kState };

// "NBIRTH", "DDATA", ...
std::string_view MessageTypeName(MessageType type);

// A group, edge node, device or host id: not empty, and without the characters that MQTT
// topics give a meaning ('/', '+', '#').
bool IsValidTopicId(std::string_view id);

class SparkplugTopics {
  public:
    SparkplugTopics(std::string groupId, std::string edgeNodeId);

    // NBIRTH, NDEATH, NDATA and NCMD of the node.
    std::string Node(MessageType type) const;
    // DBIRTH, DDEATH, DDATA and DCMD of one of its devices.
    std::string Device(MessageType type, std::string_view deviceId) const;
    static std::string State(std::string_view hostId);

    // What the node subscribes to: its NCMD, and every one of its devices' DCMD.
    std::string NodeCommandFilter() const { return Node(MessageType::kNCmd); }
    std::string DeviceCommandFilter() const;

    struct Command {
        MessageType type = MessageType::kNCmd;
        std::string deviceId;  // for DCMD
    };
    // The command a topic carries to this node; none for any other topic (another node's,
    // another type, a device id that is no valid id).
    std::optional<Command> ParseCommand(std::string_view topic) const;

  private:
    std::string prefix_;  // spBv1.0/<GroupId>/
    std::string edgeNodeId_;
};

}  // namespace velk::sparkplug

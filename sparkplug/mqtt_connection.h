#pragma once
// The broker as the edge node sees it. The real one (over an MQTT client library) lives
// where the operating system is reached; tests give a recording one. Its outcomes come back
// to the node as EdgeNode::OnConnected, OnConnectionLost and OnMessage, on the node's thread.
#include <string>

namespace velk::sparkplug {

class IMqttConnection {
  public:
    struct Will {
        std::string topic;
        std::string payload;
        int qos = 1;
    };

    virtual ~IMqttConnection() = default;
    // Starts a session with the will (never retained), trying again with back-off until it
    // is connected; replaces the will of a session that is being started.
    virtual void Connect(const Will& will) = 0;
    // Queues one message (never retained); false when it cannot (not connected).
    virtual bool Publish(const std::string& topic, const std::string& payload, int qos) = 0;
    virtual void Subscribe(const std::string& filter, int qos) = 0;
    // Ends the session without the will; no OnConnectionLost follows.
    virtual void Disconnect() = 0;
};

}  // namespace velk::sparkplug

#pragma once
// The edge node's connection over the platform's MQTT client: connection attempts with
// back-off, one trace line per change of the connection's state, and the client's events
// (posted by its sink to the publisher's thread) handed on to the node there.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/mqtt_client.h"
#include "sparkplug/mqtt_connection.h"

namespace velk::sparkplug {

class EdgeNode;

struct Backoff {
    std::chrono::milliseconds first{1000};
    std::chrono::milliseconds longest{60000};
};

class BrokerConnection final : public IMqttConnection {
  public:
    // brokerUrl names the broker in the trace.
    BrokerConnection(IMqttClient& client, std::string brokerUrl, const IClock& clock,
                     Backoff backoff = {});

    // The node the events go to; every call below comes from the publisher's thread.
    void Attach(EdgeNode& node) { node_ = &node; }

    void Connect(const Will& will) override;
    bool Publish(const std::string& topic, const std::string& payload, int qos) override;
    void Subscribe(const std::string& filter, int qos) override;
    void Disconnect() override;

    // One event of the client; outcomes of an abandoned attempt are dropped.
    void OnEvent(const MqttEvent& event);
    // Hands on a loss that is pending and starts the attempt that is due; the milliseconds until
    // the next one is, or none when no attempt waits.
    std::optional<std::uint32_t> Poll();

    bool IsConnected() const { return state_ == State::kConnected; }

  private:
    enum class State { kIdle, kConnecting, kWaiting, kConnected };

    void Attempt();
    void RetryLater();

    IMqttClient& client_;
    const std::string brokerUrl_;
    const IClock& clock_;
    const Backoff backoff_;
    EdgeNode* node_ = nullptr;
    MqttWill will_;
    State state_ = State::kIdle;
    std::uint64_t attempt_ = 0;
    std::chrono::milliseconds delay_{0};  // before the next attempt
    std::uint32_t dueTick_ = 0;
    bool failureTraced_ = false;  // since the last connection or loss
    bool lossPending_ = false;    // a session ended by a refused message, not yet handed on
};

}  // namespace velk::sparkplug

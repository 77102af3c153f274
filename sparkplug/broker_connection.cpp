#include "sparkplug/broker_connection.h"

#include <algorithm>

#include "core/trace_file.h"
#include "sparkplug/edge_node.h"

namespace velk::sparkplug {
namespace {

// An orderly end lets the NDEATH queued before it go out, within this long.
constexpr std::chrono::milliseconds kDisconnectTimeout{2000};

}  // namespace

BrokerConnection::BrokerConnection(IMqttClient& client, std::string brokerUrl, const IClock& clock,
                                   Backoff backoff)
    : client_(client), brokerUrl_(std::move(brokerUrl)), clock_(clock), backoff_(backoff) {}

void BrokerConnection::Connect(const Will& will) {
    will_ = {will.topic, will.payload, will.qos};
    if (delay_.count() == 0) {
        Attempt();
    } else {
        // After a lost session: a broker that drops every session is not hammered.
        RetryLater();
    }
}

void BrokerConnection::Attempt() {
    state_ = State::kConnecting;
    attempt_ = client_.Connect(will_);
}

void BrokerConnection::RetryLater() {
    const auto delay = std::max(delay_, backoff_.first);
    state_ = State::kWaiting;
    dueTick_ = clock_.TickCount() + static_cast<std::uint32_t>(delay.count());
    delay_ = std::min(delay * 2, backoff_.longest);
}

bool BrokerConnection::Publish(const std::string& topic, const std::string& payload, int qos) {
    if (state_ != State::kConnected) return false;
    if (client_.Publish(topic, payload, qos)) return true;
    // The node takes this for a lost session and waits for its loss, which the client may
    // never report (a refusal while connected): the session is ended here and its loss
    // handed on at the next poll.
    Trace("Sparkplug: the broker " + brokerUrl_ + " took no message; the session is ended");
    state_ = State::kIdle;
    client_.Disconnect(kDisconnectTimeout);
    attempt_ = 0;
    lossPending_ = true;
    return false;
}

void BrokerConnection::Subscribe(const std::string& filter, int qos) {
    if (state_ == State::kConnected) client_.Subscribe(filter, qos);
}

void BrokerConnection::Disconnect() {
    const bool wasConnected = state_ == State::kConnected;
    state_ = State::kIdle;
    lossPending_ = false;
    client_.Disconnect(kDisconnectTimeout);
    attempt_ = 0;  // whatever was pending is abandoned
    if (wasConnected) Trace("Sparkplug: disconnected from the broker " + brokerUrl_);
}

void BrokerConnection::OnEvent(const MqttEvent& event) {
    if (event.attempt != attempt_ || attempt_ == 0) return;
    switch (event.kind) {
        case MqttEvent::Kind::kConnected:
            if (state_ != State::kConnecting) return;
            state_ = State::kConnected;
            delay_ = backoff_.first;
            failureTraced_ = false;
            Trace("Sparkplug: connected to the broker " + brokerUrl_);
            if (node_ != nullptr) node_->OnConnected();
            return;
        case MqttEvent::Kind::kConnectFailed:
            if (state_ != State::kConnecting) return;
            if (!failureTraced_) {
                Trace("Sparkplug: cannot connect to the broker " + brokerUrl_ + ": " + event.text +
                      "; trying again");
                failureTraced_ = true;
            }
            RetryLater();
            return;
        case MqttEvent::Kind::kConnectionLost:
            if (state_ != State::kConnected) return;
            state_ = State::kIdle;
            failureTraced_ = false;
            Trace("Sparkplug: the connection to the broker " + brokerUrl_ +
                  " was lost: " + event.text);
            if (node_ != nullptr) node_->OnConnectionLost();
            return;
        case MqttEvent::Kind::kMessage:
            if (state_ == State::kConnected && node_ != nullptr) {
                node_->OnMessage(event.text, event.payload);
            }
            return;
    }
}

std::optional<std::uint32_t> BrokerConnection::Poll() {
    if (lossPending_) {
        lossPending_ = false;
        if (node_ != nullptr) node_->OnConnectionLost();
    }
    if (state_ != State::kWaiting) return std::nullopt;
    // Tick counts wrap; the signed difference is right within 24 days.
    const auto left = static_cast<std::int32_t>(dueTick_ - clock_.TickCount());
    if (left > 0) return static_cast<std::uint32_t>(left);
    Attempt();
    return std::nullopt;
}

}  // namespace velk::sparkplug

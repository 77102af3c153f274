#pragma once
// An MQTT 3.1.1 client over one broker, as the publisher uses it: one connection attempt at a
// time with a will, publications and subscriptions while connected, and the outcomes handed
// to an event sink. The sink runs on the client library's own thread and never under a lock
// of the client; it should post the event to the thread that acts on it and return.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velk {

struct MqttClientSettings {
    std::string serverUrl;  // tcp://host:port or ssl://host:port
    std::string clientId;
    std::string userName;  // none when empty
    std::string password;
    // TLS (ssl:// only): the CA certificates the broker's certificate must chain to, and
    // optionally the client's own certificate and key.
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    std::chrono::seconds keepAlive{30};
    // A broker that accepts the socket but never acknowledges the session fails the attempt
    // after this long.
    std::chrono::seconds connectTimeout{10};
};

struct MqttWill {
    std::string topic;
    std::string payload;
    int qos = 1;
};

struct MqttEvent {
    enum class Kind { kConnected, kConnectFailed, kConnectionLost, kMessage };
    Kind kind = Kind::kConnected;
    // The attempt the event belongs to (Connect's return value), so that a late outcome of an
    // abandoned attempt can be told from the current one.
    std::uint64_t attempt = 0;
    std::string text;  // the reason of a failure or loss, or a message's topic
    std::string payload;
};

class IMqttClient {
  public:
    using EventSink = std::function<void(MqttEvent)>;
    virtual ~IMqttClient() = default;
    // Starts one connection attempt with a clean session and the will (never retained); its
    // outcome follows as kConnected or kConnectFailed with the returned attempt number (at
    // once, on the caller's thread, when the library refuses to start it).
    virtual std::uint64_t Connect(const MqttWill& will) = 0;
    // Queues one message (never retained); false when not connected or refused.
    virtual bool Publish(const std::string& topic, const std::string& payload, int qos) = 0;
    virtual bool Subscribe(const std::string& filter, int qos) = 0;
    // Ends the session without the will after the messages queued before it have gone, waiting
    // up to the time-out; no kConnectionLost follows.
    virtual void Disconnect(std::chrono::milliseconds timeout) = 0;
};

// A client over Eclipse Paho MQTT C's asynchronous library; null with the reason when the
// URL is neither tcp:// nor ssl:// or the library refuses the settings.
std::unique_ptr<IMqttClient> CreateMqttClient(const MqttClientSettings& settings,
                                              IMqttClient::EventSink sink, std::string& error);

// Reads a password kept in a file of its own: the first line, without its line end. Refused
// (false with the reason) when the file cannot be read or is readable by its group or others.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error);

}  // namespace velk

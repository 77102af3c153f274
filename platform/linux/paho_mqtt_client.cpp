// The MQTT client over Paho's asynchronous library. Paho runs its callbacks on threads of its
// own; they copy what they were given, leave the client's lock and hand the event to the
// sink.
#include <MQTTAsync.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>

#include "platform/mqtt_client.h"

namespace velk {
namespace {

bool HasScheme(const std::string& url, const char* scheme) { return url.rfind(scheme, 0) == 0; }

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

class PahoMqttClient final : public IMqttClient {
  public:
    PahoMqttClient(MqttClientSettings settings, EventSink sink)
        : settings_(std::move(settings)), sink_(std::move(sink)) {}

    ~PahoMqttClient() override {
        if (handle_ == nullptr) return;
        Disconnect(std::chrono::milliseconds(1000));
        MQTTAsync_destroy(&handle_);
    }

    bool Create(std::string& error) {
        const bool tls = HasScheme(settings_.serverUrl, "ssl://");
        if (!tls && !HasScheme(settings_.serverUrl, "tcp://")) {
            error = "the broker URL must begin with tcp:// or ssl://";
            return false;
        }
        MQTTAsync_createOptions options = MQTTAsync_createOptions_initializer;
        options.MQTTVersion = MQTTVERSION_3_1_1;
        const int rc = MQTTAsync_createWithOptions(&handle_, settings_.serverUrl.c_str(),
                                                   settings_.clientId.c_str(),
                                                   MQTTCLIENT_PERSISTENCE_NONE, nullptr, &options);
        if (rc != MQTTASYNC_SUCCESS) {
            handle_ = nullptr;
            error = std::string("the MQTT client refuses the settings: ") + MQTTAsync_strerror(rc);
            return false;
        }
        MQTTAsync_setCallbacks(handle_, this, &PahoMqttClient::ConnectionLost,
                               &PahoMqttClient::MessageArrived, nullptr);
        return true;
    }

    std::uint64_t Connect(const MqttWill& will) override {
        std::uint64_t attempt = 0;
        {
            std::lock_guard lock(lock_);
            attempt = ++attempt_;
        }
        MQTTAsync_willOptions willOptions = MQTTAsync_willOptions_initializer;
        willOptions.topicName = will.topic.c_str();
        willOptions.message = nullptr;  // binary: the payload field instead
        willOptions.payload.data = will.payload.data();
        willOptions.payload.len = static_cast<int>(will.payload.size());
        willOptions.qos = will.qos;
        willOptions.retained = 0;

        MQTTAsync_SSLOptions ssl = MQTTAsync_SSLOptions_initializer;
        ssl.trustStore = OrNull(settings_.caFile);
        ssl.keyStore = OrNull(settings_.certFile);
        ssl.privateKey = OrNull(settings_.keyFile);
        ssl.enableServerCertAuth = 1;
        ssl.verify = 1;  // the broker's name must match its certificate

        MQTTAsync_connectOptions options = MQTTAsync_connectOptions_initializer;
        options.keepAliveInterval = static_cast<int>(settings_.keepAlive.count());
        options.connectTimeout = static_cast<int>(settings_.connectTimeout.count());
        options.cleansession = 1;
        options.automaticReconnect = 0;  // each session has a will of its own
        options.MQTTVersion = MQTTVERSION_3_1_1;
        options.will = &willOptions;
        options.username = OrNull(settings_.userName);
        options.password = settings_.userName.empty() ? nullptr : settings_.password.c_str();
        if (HasScheme(settings_.serverUrl, "ssl://")) options.ssl = &ssl;
        auto* context = new AttemptContext{this, attempt};
        options.onSuccess = &PahoMqttClient::ConnectSucceeded;
        options.onFailure = &PahoMqttClient::ConnectFailed;
        options.context = context;
        const int rc = MQTTAsync_connect(handle_, &options);
        if (rc != MQTTASYNC_SUCCESS) {
            delete context;
            Emit({MqttEvent::Kind::kConnectFailed, attempt, MQTTAsync_strerror(rc), {}});
        }
        return attempt;
    }

    bool Publish(const std::string& topic, const std::string& payload, int qos) override {
        MQTTAsync_message message = MQTTAsync_message_initializer;
        message.payload = const_cast<char*>(payload.data());
        message.payloadlen = static_cast<int>(payload.size());
        message.qos = qos;
        message.retained = 0;
        return MQTTAsync_sendMessage(handle_, topic.c_str(), &message, nullptr) ==
               MQTTASYNC_SUCCESS;
    }

    bool Subscribe(const std::string& filter, int qos) override {
        return MQTTAsync_subscribe(handle_, filter.c_str(), qos, nullptr) == MQTTASYNC_SUCCESS;
    }

    void Disconnect(std::chrono::milliseconds timeout) override {
        {
            std::lock_guard lock(lock_);
            ++attempt_;  // outcomes of a pending attempt are stale from here
            disconnected_ = false;
        }
        MQTTAsync_disconnectOptions options = MQTTAsync_disconnectOptions_initializer;
        options.timeout = static_cast<int>(timeout.count());
        options.onSuccess = &PahoMqttClient::DisconnectDone;
        options.onFailure = &PahoMqttClient::DisconnectFailed;
        options.context = this;
        if (MQTTAsync_disconnect(handle_, &options) != MQTTASYNC_SUCCESS) return;
        std::unique_lock lock(lock_);
        disconnectedChanged_.wait_for(lock, timeout + std::chrono::milliseconds(100),
                                      [this] { return disconnected_; });
    }

  private:
    struct AttemptContext {
        PahoMqttClient* client;
        std::uint64_t attempt;
    };

    void Emit(MqttEvent event) { sink_(std::move(event)); }

    std::uint64_t CurrentAttempt() {
        std::lock_guard lock(lock_);
        return attempt_;
    }

    static void ConnectSucceeded(void* context, MQTTAsync_successData*) {
        auto* attempt = static_cast<AttemptContext*>(context);
        attempt->client->Emit({MqttEvent::Kind::kConnected, attempt->attempt, {}, {}});
        delete attempt;
    }

    static void ConnectFailed(void* context, MQTTAsync_failureData* failure) {
        auto* attempt = static_cast<AttemptContext*>(context);
        std::string reason;
        if (failure != nullptr && failure->message != nullptr) {
            reason = failure->message;
        } else if (failure != nullptr) {
            reason = MQTTAsync_strerror(failure->code);
        }
        attempt->client->Emit({MqttEvent::Kind::kConnectFailed, attempt->attempt, reason, {}});
        delete attempt;
    }

    static void ConnectionLost(void* context, char* cause) {
        auto* client = static_cast<PahoMqttClient*>(context);
        client->Emit({MqttEvent::Kind::kConnectionLost,
                      client->CurrentAttempt(),
                      cause != nullptr ? cause : "the connection ended",
                      {}});
        MQTTAsync_free(cause);
    }

    static int MessageArrived(void* context, char* topic, int topicLength,
                              MQTTAsync_message* message) {
        auto* client = static_cast<PahoMqttClient*>(context);
        MqttEvent event{MqttEvent::Kind::kMessage, client->CurrentAttempt(),
                        topicLength > 0 ? std::string(topic, static_cast<std::size_t>(topicLength))
                                        : std::string(topic),
                        std::string(static_cast<const char*>(message->payload),
                                    static_cast<std::size_t>(message->payloadlen))};
        MQTTAsync_freeMessage(&message);
        MQTTAsync_free(topic);
        client->Emit(std::move(event));
        return 1;
    }

    static void DisconnectDone(void* context, MQTTAsync_successData*) {
        static_cast<PahoMqttClient*>(context)->MarkDisconnected();
    }
    static void DisconnectFailed(void* context, MQTTAsync_failureData*) {
        static_cast<PahoMqttClient*>(context)->MarkDisconnected();
    }
    void MarkDisconnected() {
        std::lock_guard lock(lock_);
        disconnected_ = true;
        disconnectedChanged_.notify_all();
    }

    const MqttClientSettings settings_;
    const EventSink sink_;
    MQTTAsync handle_ = nullptr;
    std::mutex lock_;  // attempt_ and disconnected_; never held while the sink runs
    std::condition_variable disconnectedChanged_;
    std::uint64_t attempt_ = 0;
    bool disconnected_ = false;
};

}  // namespace

std::unique_ptr<IMqttClient> CreateMqttClient(const MqttClientSettings& settings,
                                              IMqttClient::EventSink sink, std::string& error) {
    auto client = std::make_unique<PahoMqttClient>(settings, std::move(sink));
    if (!client->Create(error)) return nullptr;
    return client;
}

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "the password file " + path + " cannot be read";
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        close(fd);
        error = "the password file " + path + " is readable by its group or others";
        return false;
    }
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0 && text.size() < 65536;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    password = text.substr(0, text.find_first_of("\r\n"));
    return true;
}

}  // namespace velk

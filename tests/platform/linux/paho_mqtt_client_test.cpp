// The Paho client against a real mosquitto on a loopback port: sessions, messages both ways,
// a broker that goes away, TLS with a CA made here, user names with passwords.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <mutex>

#include "platform/mqtt_client.h"
#include "tests/support/mosquitto_process.h"

namespace velk {
namespace {

using testing::MosquittoProcess;
using Kind = MqttEvent::Kind;

// Collects the client's events as its sink, from the library's threads.
class Events {
  public:
    IMqttClient::EventSink Sink() {
        return [this](MqttEvent event) {
            std::lock_guard lock(lock_);
            events_.push_back(std::move(event));
            changed_.notify_all();
        };
    }
    // The first event of the kind not taken yet; none within the time-out.
    std::optional<MqttEvent> Take(Kind kind,
                                  std::chrono::seconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(lock_);
        std::optional<MqttEvent> found;
        changed_.wait_for(lock, timeout, [&] {
            for (auto it = events_.begin(); it != events_.end(); ++it) {
                if (it->kind != kind) continue;
                found = *it;
                events_.erase(it);
                return true;
            }
            return false;
        });
        return found;
    }

  private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<MqttEvent> events_;
};

std::unique_ptr<IMqttClient> MakeClient(MqttClientSettings settings, Events& events) {
    std::string error;
    auto client = CreateMqttClient(settings, events.Sink(), error);
    EXPECT_NE(client, nullptr) << error;
    return client;
}

MqttClientSettings Plain(const MosquittoProcess& broker, std::string clientId) {
    MqttClientSettings settings;
    settings.serverUrl = broker.TcpUrl();
    settings.clientId = std::move(clientId);
    settings.connectTimeout = std::chrono::seconds(3);
    return settings;
}

TEST(PahoMqttClient, MessagesGoBothWaysAnOrderlyEndSendsNoWillABrokerGoneIsALoss) {
    MosquittoProcess broker;
    if (!broker.Start()) GTEST_SKIP() << "mosquitto is not installed";
    Events watcherEvents, nodeEvents;
    auto watcher = MakeClient(Plain(broker, "watcher"), watcherEvents);
    const auto watcherAttempt = watcher->Connect({"w/will", "gone", 1});
    const auto connected = watcherEvents.Take(Kind::kConnected);
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->attempt, watcherAttempt);
    ASSERT_TRUE(watcher->Subscribe("t/#", 1));
    ASSERT_TRUE(watcher->Subscribe("node/will", 1));

    auto node = MakeClient(Plain(broker, "node"), nodeEvents);
    node->Connect({"node/will", std::string("\0death", 6), 1});
    ASSERT_TRUE(nodeEvents.Take(Kind::kConnected));
    const std::string binary("\x00\x01\xff\x00z", 5);
    ASSERT_TRUE(node->Publish("t/data", binary, 0));
    const auto message = watcherEvents.Take(Kind::kMessage);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text, "t/data");
    EXPECT_EQ(message->payload, binary);

    // An orderly end sends no will.
    node->Disconnect(std::chrono::milliseconds(2000));
    EXPECT_FALSE(node->Publish("t/data", "late", 0));
    EXPECT_FALSE(watcherEvents.Take(Kind::kMessage, std::chrono::seconds(1)));

    // The broker going away is a loss for a connected client, and a failed attempt after.
    node->Connect({"node/will", "x", 1});
    ASSERT_TRUE(nodeEvents.Take(Kind::kConnected));
    broker.Stop();
    EXPECT_TRUE(nodeEvents.Take(Kind::kConnectionLost));
    const auto again = node->Connect({"node/will", "x", 1});
    const auto failed = nodeEvents.Take(Kind::kConnectFailed);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->attempt, again);
}

TEST(PahoMqttClient, ABrokerThatAcceptsAndNeverAnswersFailsTheAttemptWithoutBlockingTheCaller) {
    // A listening socket that nobody reads: the kernel accepts, no CONNACK ever comes.
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(fd, 4), 0);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    Events events;
    MqttClientSettings settings;
    settings.serverUrl = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    settings.clientId = "silent";
    settings.connectTimeout = std::chrono::seconds(1);
    auto client = MakeClient(settings, events);
    client->Connect({"t/will", "x", 1});
    EXPECT_FALSE(client->Publish("t/x", "y", 0));  // refused at once, not queued behind it
    EXPECT_TRUE(events.Take(Kind::kConnectFailed, std::chrono::seconds(10)));
    close(fd);
}

TEST(PahoMqttClient, UrlsOtherThanTcpOrSslAreRefused) {
    Events events;
    std::string error;
    for (const char* url : {"mqtt://127.0.0.1:1883", "ws://127.0.0.1:1", "127.0.0.1:1883"}) {
        MqttClientSettings settings;
        settings.serverUrl = url;
        settings.clientId = "c";
        EXPECT_EQ(CreateMqttClient(settings, events.Sink(), error), nullptr) << url;
        EXPECT_FALSE(error.empty());
    }
}

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(PahoMqttClient, TlsTakesOnlyABrokerWhoseCertificateChainsToTheCaFile) {
    testing::TempDirectory certificates;
    const std::string dir = certificates.Path();
    if (!testing::MakeTestCertificates(dir)) GTEST_SKIP() << "openssl is not installed";
    ASSERT_TRUE(Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=other -keyout " +
                      dir + "/other.key -out " + dir + "/other.crt"));
    MosquittoProcess broker;
    if (!broker.Start({"cafile " + dir + "/testca.crt", "certfile " + dir + "/server.crt",
                       "keyfile " + dir + "/server.key"})) {
        GTEST_SKIP() << "mosquitto is not installed";
    }
    struct Case {
        const char* caFile;
        bool connects;
    };
    for (const Case& c : {Case{"testca.crt", true}, Case{"other.crt", false}}) {
        Events events;
        MqttClientSettings settings = Plain(broker, "tls");
        settings.serverUrl = "ssl://localhost:" + std::to_string(broker.Port());
        settings.caFile = dir + "/" + c.caFile;
        auto client = MakeClient(settings, events);
        client->Connect({"t/will", "x", 1});
        EXPECT_EQ(events.Take(c.connects ? Kind::kConnected : Kind::kConnectFailed).has_value(),
                  true)
            << c.caFile;
        if (c.connects) {
            EXPECT_TRUE(client->Publish("t/x", "y", 1));
        }
    }
}

TEST(PahoMqttClient, TheBrokerTakesOnlyTheRightPasswordAndAPasswordFileMustBePrivate) {
    MosquittoProcess broker;
    const std::string dir = broker.Directory().Path();
    if (!Shell("mosquitto_passwd -b -c " + dir + "/passwd edge s3cret")) {
        GTEST_SKIP() << "mosquitto_passwd is not installed";
    }
    if (!broker.Start({"allow_anonymous false", "password_file " + dir + "/passwd"})) {
        GTEST_SKIP() << "mosquitto is not installed";
    }
    struct Case {
        mode_t mode;
        const char* content;
        bool read;
        bool connects;
    };
    const Case cases[] = {
        {0600, "s3cret\n", true, true},
        {0400, "wrong\n", true, false},
        {0640, "s3cret\n", false, false},
        {0604, "s3cret\n", false, false},
    };
    for (const Case& c : cases) {
        const std::string file = dir + "/password";
        std::remove(file.c_str());
        std::ofstream(file) << c.content;
        chmod(file.c_str(), c.mode);
        std::string password, error;
        ASSERT_EQ(ReadPasswordFile(file, password, error), c.read) << std::oct << c.mode;
        if (!c.read) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(password.find('\n'), std::string::npos);
        Events events;
        MqttClientSettings settings = Plain(broker, "auth");
        settings.userName = "edge";
        settings.password = password;
        auto client = MakeClient(settings, events);
        client->Connect({"t/will", "x", 1});
        EXPECT_TRUE(events.Take(c.connects ? Kind::kConnected : Kind::kConnectFailed)) << c.content;
    }
}

}  // namespace
}  // namespace velk

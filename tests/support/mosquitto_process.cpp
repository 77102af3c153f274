#include "tests/support/mosquitto_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>

namespace velk::testing {
namespace {

bool Listening(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

bool MakeTestCertificates(const std::string& dir) {
    const std::string ca = dir + "/testca";
    return Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=testca -keyout " +
                 ca + ".key -out " + ca + ".crt") &&
           Shell("openssl req -newkey rsa:2048 -nodes -subj /CN=localhost -keyout " + dir +
                 "/server.key -out " + dir + "/server.csr") &&
           Shell("printf 'subjectAltName=DNS:localhost,IP:127.0.0.1' > " + dir + "/san.ext") &&
           Shell("openssl x509 -req -in " + dir + "/server.csr -CA " + ca + ".crt -CAkey " + ca +
                 ".key -CAcreateserial -days 2 -extfile " + dir + "/san.ext -out " + dir +
                 "/server.crt");
}

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

bool MosquittoProcess::Start(const std::vector<std::string>& configuration, int port) {
    if (access("/usr/sbin/mosquitto", X_OK) != 0) return false;
    port_ = port != 0 ? port : FreeLoopbackPort();
    const std::string config = directory_.File("mosquitto.conf");
    {
        std::ofstream out(config);
        out << "listener " << port_ << " 127.0.0.1\n";
        bool anonymous = true;
        for (const auto& line : configuration) {
            out << line << "\n";
            if (line.rfind("allow_anonymous", 0) == 0) anonymous = false;
        }
        if (anonymous) out << "allow_anonymous true\n";
        out << "persistence false\n";
        // Started by root, mosquitto would drop to its own user, who cannot read the test's
        // private directory.
        if (const passwd* user = getpwuid(geteuid())) out << "user " << user->pw_name << "\n";
    }
    if (!process_.Start("/usr/sbin/mosquitto", {"-c", config}, {},
                        directory_.File("mosquitto.log"))) {
        return false;
    }
    return WaitUntil([this] { return Listening(port_) || !process_.Running(); },
                     std::chrono::seconds(5)) &&
           process_.Running();
}

void MosquittoProcess::Stop() {
    if (!process_.Running()) return;
    process_.Signal(SIGKILL);
    process_.Wait(std::chrono::seconds(5));
}

}  // namespace velk::testing

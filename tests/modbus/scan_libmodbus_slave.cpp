#include "tests/modbus/scan_libmodbus_slave.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velk::testing {
namespace {

// Waits up to 200 ms for the socket to become readable.
bool Readable(int fd) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval wait{0, 200000};
    return select(fd + 1, &set, nullptr, nullptr, &wait) > 0;
}

}  // namespace

LibmodbusSlave::LibmodbusSlave(int count) {
    mapping_ = modbus_mapping_new(count, count, count, count);
}

LibmodbusSlave::~LibmodbusSlave() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (server_ >= 0) close(server_);
    if (context_) modbus_free(context_);
    if (mapping_) modbus_mapping_free(mapping_);
}

bool LibmodbusSlave::Start() {
    server_ = socket(AF_INET, SOCK_STREAM, 0);
    if (server_ < 0) return false;
    const int on = 1;
    setsockopt(server_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(server_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    if (listen(server_, 4) != 0) return false;
    socklen_t length = sizeof address;
    getsockname(server_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    context_ = modbus_new_tcp("127.0.0.1", port_);
    if (!context_ || !mapping_) return false;
    modbus_set_indication_timeout(context_, 0, 200000);
    thread_ = std::thread([this] { Serve(); });
    return true;
}

std::vector<int> LibmodbusSlave::Units() {
    std::lock_guard<std::mutex> lock(lock_);
    return units_;
}

std::vector<std::vector<std::uint8_t>> LibmodbusSlave::Requests() {
    std::lock_guard<std::mutex> lock(lock_);
    return requests_;
}

void LibmodbusSlave::Serve() {
    std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    while (!stop_) {
        if (!Readable(server_)) continue;
        const int client = accept(server_, nullptr, nullptr);
        if (client < 0) continue;
        ++connections;
        modbus_set_socket(context_, client);
        while (!stop_) {
            const int received = modbus_receive(context_, query);
            if (received == -1 && errno == ETIMEDOUT) continue;
            if (received <= 0) break;
            {
                std::lock_guard<std::mutex> lock(lock_);
                requests_.emplace_back(query + 7, query + received);
                units_.push_back(query[6]);
            }
            const int function = query[7];
            const int count = query[10] << 8 | query[11];
            int refusal = 0;
            if (function == refusedFunction) refusal = MODBUS_EXCEPTION_ILLEGAL_FUNCTION;
            if ((function == 3 || function == 4) && refusedReadsAbove > 0 &&
                count > refusedReadsAbove)
                refusal = MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
            if (refusal != 0) {
                if (modbus_reply_exception(context_, query, static_cast<unsigned>(refusal)) < 0)
                    break;
                continue;
            }
            if (modbus_reply(context_, query, received, mapping_) < 0) break;
        }
        close(client);
    }
}

}  // namespace velk::testing

#pragma once
// A Modbus TCP slave made with libmodbus on a loopback port, run on its own thread: answers
// from a libmodbus register mapping and keeps the PDU of every request it receives.
#include <modbus.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace velk::testing {

class LibmodbusSlave {
  public:
    // A mapping of count entries per table; addresses beyond it get exception 2.
    explicit LibmodbusSlave(int count = 200);
    ~LibmodbusSlave();
    LibmodbusSlave(const LibmodbusSlave&) = delete;
    LibmodbusSlave& operator=(const LibmodbusSlave&) = delete;

    // Listens on 127.0.0.1 at a port the system picks; false when it cannot.
    bool Start();
    int Port() const { return port_; }
    std::vector<std::vector<std::uint8_t>> Requests();
    // The unit identifier of every request.
    std::vector<int> Units();
    // The mapping; change it only while no request is on its way.
    modbus_mapping_t* Mapping() { return mapping_; }

    // Quirks of field devices: a function code answered with exception 1 (illegal
    // function), and reads of more registers than this answered with exception 3 (0: none).
    std::atomic<int> refusedFunction{0};
    std::atomic<int> refusedReadsAbove{0};
    // The number of connections accepted so far.
    std::atomic<int> connections{0};

  private:
    void Serve();

    modbus_t* context_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    int server_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex lock_;
    std::vector<std::vector<std::uint8_t>> requests_;
    std::vector<int> units_;
};

}  // namespace velk::testing

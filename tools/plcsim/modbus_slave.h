#pragma once
// The simulated controller's answers: one request PDU in, one answer PDU (or an exception)
// out, on the process image. Counts what it received and remembers the last time
// synchronisation.
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "platform/clock.h"
#include "tools/plcsim/process_image.h"

namespace velk::plcsim {

namespace exception_code {
inline constexpr std::uint8_t kIllegalFunction = 1;
inline constexpr std::uint8_t kIllegalDataAddress = 2;
inline constexpr std::uint8_t kIllegalDataValue = 3;
}  // namespace exception_code

struct TimeSyncRecord {
    LocalTime time;   // as sent (year in full: 2000 + year byte)
    int channel = 0;  // where it came from
    std::uint64_t count = 0;
};

struct SlaveCounters {
    std::uint64_t requests = 0;
    std::uint64_t answers = 0;
    std::uint64_t exceptions = 0;
    std::map<int, std::uint64_t> byFunction;
    std::map<int, std::uint64_t> byChannel;
};

class ModbusSlave {
  public:
    ModbusSlave(ProcessImage& image, std::uint8_t unit) : image_(image), unit_(unit) {}

    std::uint8_t Unit() const { return unit_; }
    // Whether a request to this unit concerns the simulator: its own unit, broadcast 0,
    // and over TCP also 255 (the usual "no gateway" unit).
    bool Accepts(std::uint8_t unit, bool tcp) const;

    // The answer PDU for a request PDU (function code first); an empty PDU gives none.
    std::optional<std::vector<std::uint8_t>> Handle(std::span<const std::uint8_t> pdu, int channel);

    static std::vector<std::uint8_t> ExceptionPdu(std::uint8_t function, std::uint8_t code);

    const SlaveCounters& Counters() const { return counters_; }
    void ResetCounters() { counters_ = SlaveCounters{}; }
    const std::optional<TimeSyncRecord>& LastTimeSync() const { return lastTimeSync_; }

  private:
    std::vector<std::uint8_t> ReadBits(std::span<const std::uint8_t> pdu, Table table);
    std::vector<std::uint8_t> ReadWords(std::span<const std::uint8_t> pdu, Table table);
    std::vector<std::uint8_t> WriteCoil(std::span<const std::uint8_t> pdu);
    std::vector<std::uint8_t> WriteRegister(std::span<const std::uint8_t> pdu);
    std::vector<std::uint8_t> WriteCoils(std::span<const std::uint8_t> pdu);
    std::vector<std::uint8_t> WriteRegisters(std::span<const std::uint8_t> pdu);
    std::vector<std::uint8_t> Diagnostics(std::span<const std::uint8_t> pdu);
    std::vector<std::uint8_t> TimeSync(std::span<const std::uint8_t> pdu, int channel);

    ProcessImage& image_;
    std::uint8_t unit_;
    SlaveCounters counters_;
    std::optional<TimeSyncRecord> lastTimeSync_;
};

}  // namespace velk::plcsim

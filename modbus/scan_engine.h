#pragma once
// The tag scan engine: reads a device's tags in as few block requests as the limits allow,
// writes single tag values, and simulates the tags of devices in simulation.
//
// Locking: exchanges run under the channel's own lock (the device's exchange lock or the
// port lock) only. TagDataLock is held while the block plan is made from the list and while
// one block's answer is decoded and stored (or its bad quality set), never while waiting for
// a controller, so a controller that does not answer delays only the callers that read it.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "modbus/poll_backoff.h"
#include "modbus/scan_read_overlap.h"
#include "modbus/shared_block_reads.h"
#include "modbus/tag_simulator.h"
#include "model/tag_list.h"
#include "model/variant.h"
#include "platform/hresult.h"

namespace velk {

class IClock;
class IDeviceExchange;
class IEventPoster;
class ODevice;
class OModbusTag;
struct ReadBlock;
class OMessage;

class ScanEngine {
  public:
    // Alarm records of the evaluations go to poster; time stamps of writes and simulations
    // come from clock.
    ScanEngine(IDeviceExchange& exchange, IEventPoster& poster, IClock& clock,
               TagSimulator::RandomSource random = {});

    // Reads the tags of one device (a list in location order) and updates their values,
    // qualities and time stamps; a failed block leaves its tags' values and sets quality
    // 0x18. A device in simulation is simulated instead. When reads of the same device
    // overlap, a tag keeps a value whose time stamp is later than this read's answer.
    // A block that another reader is reading, or has just read, is taken from that reader's
    // exchange when its request was issued no earlier than this call, or for a periodic
    // reader no earlier than periodStartTick, the tick count at which its current update
    // period began (SharedBlockReads). A device that has stopped answering is read only in
    // one call in its back-off cycles (PollBackoff); the other calls set quality 0x18.
    void ReadTags(ODevice& device, const TagList& tags,
                  std::optional<std::uint32_t> periodStartTick = std::nullopt);

    // Writes one value in engineering units to the tag's location; a register bit by a
    // read-modify-write of its holding register. kTagNotWritable without
    // write access or at a location that is never written (nothing is stored or sent); a
    // scaling or conversion error as is; E_FAIL when the controller did not confirm (the
    // value stays in the tag with quality 0x00); S_OK otherwise.
    HRESULT WriteTag(ODevice& device, OModbusTag& tag, const Variant& value);

    // One simulation step of every tag of the list, under TagDataLock.
    void SimulateTags(ODevice& device, const TagList& tags);

    // The engine's ReadTags as the live monitor thread takes it.
    std::function<void(ODevice&, TagList&)> ReadTagsCallback();

    // The back-off of devices that stopped answering; read only, for diagnostics.
    PollBackoff& Backoff() { return backoff_; }

    // The shared block reads; read only, for benchmarks and diagnostics.
    const SharedBlockReads& SharedReads() const { return shared_; }

  private:
    void ReadBlockOf(ODevice& device, const SharedBlockReads::Reader& reader,
                     const ReadBlock& block, bool wordSwap);
    // One request of a block, sent by this reader; onWire when it goes on the wire.
    BlockPart ExchangePart(ODevice& device, std::int32_t kind, std::uint32_t start,
                           std::uint32_t count, SharedBlockReads::OnWire onWire);
    // Exchanges the request; true when the answer is valid.
    bool ExchangeValid(ODevice& device, OMessage& request);
    // Sets or clears one bit of a holding register by reading the register and writing it
    // back (or by one mask write, function code 22, where the device allows it); true when
    // the exchanges were confirmed.
    bool WriteRegisterBit(ODevice& device, std::uint16_t address, std::int16_t bit, bool set);
    // The lock that orders the writes of one device (taken with no other lock held).
    std::mutex& RegisterWriteLock(const ODevice& device);

    IDeviceExchange& exchange_;
    IEventPoster& poster_;
    IClock& clock_;
    TagSimulator simulator_;
    ScanReadOverlap overlap_;
    SharedBlockReads shared_;
    PollBackoff backoff_;
    std::mutex registerWriteLocksGuard_;
    std::map<const ODevice*, std::unique_ptr<std::mutex>> registerWriteLocks_;
};

}  // namespace velk

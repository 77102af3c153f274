#pragma once
// The store and forward spool: records kept on disk in order while the node cannot
// publish, handed back oldest first when it can again. The spool is a series of segment
// files "sparkplug_spool_<n>.rec" in the store directory, bounded in total: a record that
// would pass the limit first drops the oldest segments (one trace line per episode, which
// ends when the spool has been replayed empty). A record is its length, its CRC-32 and its
// bytes; a segment that ends in a record cut short (a crash mid-write) or damaged yields
// the records before it. Writes reach the disk at Sync, which the owner calls in batches
// (once a second): a crash loses at most what was appended since. One thread owns it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_reader.h"
#include "platform/file_system.h"

namespace velk::sparkplug {

class Spool {
  public:
    // limitBytes: the most the segments hold together (StoreLimitMB).
    Spool(IFileSystem& files, IFileReader& reader, std::string directory, std::uint64_t limitBytes);

    // Takes up the segments an earlier run left, oldest first; new records go to a new one.
    void Open();

    // Appends one record; false when it could not be written (or is larger than a segment).
    bool Append(std::string_view record);
    // Puts the records appended since the last sync on the disk.
    bool Sync();

    bool Empty() const { return segments_.empty(); }
    std::uint64_t Bytes() const;
    std::uint64_t SegmentLimit() const { return segmentLimit_; }

    // Hands the records to deliver, oldest first, until it refuses one (the broker went
    // away again): that one and the rest stay for the next replay. Each segment goes once
    // all of its records are delivered. Returns the number delivered.
    std::size_t Replay(const std::function<bool(std::string_view record)>& deliver);

  private:
    struct Segment {
        std::uint64_t number = 0;
        std::uint64_t bytes = 0;
    };
    std::string PathOf(std::uint64_t number) const;
    bool StartSegment();
    void Seal();
    void DropOldest();

    IFileSystem& files_;
    IFileReader& reader_;
    std::string directory_;
    std::uint64_t limit_;
    std::uint64_t segmentLimit_;
    std::vector<Segment> segments_;         // oldest first; the last may be open
    std::unique_ptr<IAppendFile> current_;  // the last segment, while records go to it
    std::uint64_t replayedBytes_ = 0;       // of the oldest segment, delivered already
    bool dropping_ = false;                 // in an episode of dropped records
};

// The CRC-32 of IEEE 802.3 (as zlib computes it).
std::uint32_t Crc32(std::string_view bytes);

}  // namespace velk::sparkplug

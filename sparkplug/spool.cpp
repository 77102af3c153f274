#include "sparkplug/spool.h"

#include <algorithm>
#include <array>

#include "core/trace_file.h"

namespace velk::sparkplug {
namespace {

constexpr std::string_view kPrefix = "sparkplug_spool_";
constexpr std::string_view kSuffix = ".rec";
constexpr std::size_t kHeaderBytes = 8;  // length, CRC-32
// A segment is an eighth of the limit, so a full spool drops an eighth at a time, and at
// most what one read of a file takes.
constexpr std::uint64_t kMaxSegmentBytes = 4u << 20;
constexpr std::uint64_t kMinSegmentBytes = 4096;

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

void PutLe32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint32_t GetLe32(std::string_view in, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[at + i]);
    return v;
}

// The segment number in a file name of the spool, or false for any other name.
bool SegmentNumber(const std::string& name, std::uint64_t& number) {
    if (name.size() <= kPrefix.size() + kSuffix.size() || name.rfind(kPrefix, 0) != 0 ||
        name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
        return false;
    }
    const std::string digits =
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    if (digits.size() > 19) return false;
    number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

}  // namespace

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes) c = kCrcTable[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

Spool::Spool(IFileSystem& files, IFileReader& reader, std::string directory,
             std::uint64_t limitBytes)
    : files_(files),
      reader_(reader),
      directory_(std::move(directory)),
      limit_(limitBytes),
      segmentLimit_(std::clamp(limitBytes / 8, kMinSegmentBytes, kMaxSegmentBytes)) {}

std::string Spool::PathOf(std::uint64_t number) const {
    std::string digits = std::to_string(number);
    digits.insert(0, digits.size() < 10 ? 10 - digits.size() : 0, '0');
    const std::string name = std::string(kPrefix) + digits + std::string(kSuffix);
    return directory_.empty() ? name : directory_ + "/" + name;
}

std::uint64_t Spool::Bytes() const {
    std::uint64_t total = 0;
    for (const auto& segment : segments_) total += segment.bytes;
    return total - replayedBytes_;
}

void Spool::Open() {
    current_.reset();
    segments_.clear();
    replayedBytes_ = 0;
    for (const std::string& name : files_.ListDirectory(directory_)) {
        std::uint64_t number = 0;
        if (!SegmentNumber(name, number)) continue;
        const auto file = files_.OpenAppend(PathOf(number));
        const auto size = file ? file->Size() : std::nullopt;
        if (size) segments_.push_back({number, *size});
    }
    std::sort(segments_.begin(), segments_.end(),
              [](const Segment& a, const Segment& b) { return a.number < b.number; });
}

bool Spool::StartSegment() {
    const std::uint64_t number = segments_.empty() ? 1 : segments_.back().number + 1;
    current_ = files_.OpenAppend(PathOf(number));
    if (!current_) return false;
    segments_.push_back({number, 0});
    return true;
}

void Spool::Seal() {
    if (!current_) return;
    current_->Sync();
    current_.reset();
}

void Spool::DropOldest() {
    if (!dropping_) {
        Trace("Sparkplug: the store has reached its limit of " + std::to_string(limit_ >> 20) +
              " MB; the oldest data are dropped");
        dropping_ = true;
    }
    files_.Remove(PathOf(segments_.front().number));
    segments_.erase(segments_.begin());
    replayedBytes_ = 0;
}

bool Spool::Append(std::string_view record) {
    const std::uint64_t size = kHeaderBytes + record.size();
    if (size > segmentLimit_) return false;
    if (current_ && segments_.back().bytes + size > segmentLimit_) Seal();
    // The open segment counts in full; only sealed ones go.
    while (Bytes() + size > limit_ && segments_.size() > (current_ ? 1u : 0u)) DropOldest();
    if (Bytes() + size > limit_) return false;
    if (!current_ && !StartSegment()) return false;

    std::string framed;
    framed.reserve(size);
    PutLe32(framed, static_cast<std::uint32_t>(record.size()));
    PutLe32(framed, Crc32(record));
    framed.append(record);
    const std::size_t written = current_->Write(framed.data(), framed.size());
    segments_.back().bytes += written;
    if (written != framed.size()) {
        // Whatever part landed is a damaged tail that replay skips; the next record starts
        // a new segment.
        current_.reset();
        return false;
    }
    return true;
}

bool Spool::Sync() { return !current_ || current_->Sync(); }

std::size_t Spool::Replay(const std::function<bool(std::string_view record)>& deliver) {
    Seal();
    std::size_t delivered = 0;
    while (!segments_.empty()) {
        const std::string path = PathOf(segments_.front().number);
        std::string bytes;
        if (reader_.ReadAll(path, bytes) != FileReadResult::Ok) {
            // Left in place it would stop every later replay.
            Trace("Sparkplug: " + path + " cannot be read; its data are dropped");
            bytes.clear();
        }
        std::size_t at = replayedBytes_;
        while (at + kHeaderBytes <= bytes.size()) {
            const std::uint32_t length = GetLe32(bytes, at);
            if (length > bytes.size() - at - kHeaderBytes) break;
            const std::string_view record(bytes.data() + at + kHeaderBytes, length);
            if (Crc32(record) != GetLe32(bytes, at + 4)) break;
            if (!deliver(record)) {
                replayedBytes_ = at;
                return delivered;
            }
            ++delivered;
            at += kHeaderBytes + length;
        }
        if (at != bytes.size()) {
            Trace("Sparkplug: " + path + " ends in a damaged record; " +
                  std::to_string(bytes.size() - at) + " bytes dropped");
        }
        files_.Remove(path);
        segments_.erase(segments_.begin());
        replayedBytes_ = 0;
    }
    dropping_ = false;
    return delivered;
}

}  // namespace velk::sparkplug

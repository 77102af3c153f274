#include "core/trace_file.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace velk {
namespace {
std::atomic<TraceFile*> g_trace{nullptr};

// Rotations of one minute beyond the first that get a name of their own.
constexpr unsigned kMaxRotationsPerMinute = 9999;

struct TraceNameParts {
    std::string directory;  // with its trailing "/", or ""
    std::string extension;  // with its ".", or ""
};

TraceNameParts SplitTraceName(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = fileName.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    return {fileName.substr(0, nameStart), hasExtension ? fileName.substr(dot) : std::string()};
}

bool IsDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The order of a rotated file's name "YYYYMMDDhhmm[-n]<extension>" among the others: its
// stamp, then its counter. Null for any other name.
std::optional<std::pair<std::string, unsigned long>> RotationOrder(std::string_view name,
                                                                   std::string_view extension) {
    if (name.size() <= extension.size() || !name.ends_with(extension)) return std::nullopt;
    name.remove_suffix(extension.size());
    const std::string_view stamp = name.substr(0, 12);
    if (stamp.size() != 12 || !IsDigits(stamp)) return std::nullopt;
    if (name.size() == 12) return std::make_pair(std::string(stamp), 0UL);
    const std::string_view counter = name.substr(13);
    if (name[12] != '-' || !IsDigits(counter) || counter.size() > 9) return std::nullopt;
    return std::make_pair(std::string(stamp), std::stoul(std::string(counter)));
}

std::string Format(const char* format, auto... args) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}
}  // namespace

std::string TraceStamp(const LocalTime& t) {
    return Format("%04d.%02d.%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
}

std::string RotatedTraceName(const std::string& fileName, const LocalTime& now, unsigned counter) {
    const TraceNameParts parts = SplitTraceName(fileName);
    std::string rotated = parts.directory;
    rotated += Format("%04d%02d%02d%02d%02d", now.year, now.month, now.day, now.hour, now.minute);
    if (counter > 0) rotated += Format("-%u", counter);
    rotated += parts.extension;
    if (rotated.size() >= PATH_MAX) return {};
    return rotated;
}

TraceFile::TraceFile(const IClock& clock, IFileSystem& files) : clock_(clock), files_(files) {}

void TraceFile::SetFileName(std::string fileName) {
    std::lock_guard lock(traceLock_);
    fileName_ = std::move(fileName);
}

void TraceFile::SetSizeLimit(std::uint32_t kilobytes) {
    std::lock_guard lock(traceLock_);
    sizeLimitKb_ = kilobytes;
}

void TraceFile::SetRotatedFileLimit(std::uint32_t count) {
    std::lock_guard lock(traceLock_);
    rotatedFileLimit_ = count;
}

std::string TraceFile::FileName() const {
    std::lock_guard lock(traceLock_);
    return fileName_;
}

bool TraceFile::OpenTrace() {
    std::lock_guard lock(traceLock_);
    file_.reset();
    if (!fileName_.empty()) file_ = files_.OpenAppend(fileName_);
    return file_ != nullptr;
}

void TraceFile::CloseTrace() {
    std::lock_guard lock(traceLock_);
    file_.reset();
}

bool TraceFile::IsOpen() const {
    std::lock_guard lock(traceLock_);
    return file_ != nullptr;
}

void TraceFile::SetEcho(std::function<void(const std::string&)> echo) {
    std::lock_guard lock(traceLock_);
    echo_ = echo ? std::make_shared<const Echo>(std::move(echo)) : nullptr;
}

void TraceFile::SetLossReport(std::function<void(const std::string&)> report) {
    std::lock_guard lock(traceLock_);
    lossReport_ = std::move(report);
}

bool TraceFile::Trace(std::string_view text) { return WriteLine(text); }

bool TraceFile::TraceResult(std::string_view text, std::int32_t value, bool isResult) {
    std::string body(text);
    if (!isResult) {
        body += Format(" %d", value);
    } else if (value == 0) {
        body += ", return code: 0";
    } else {
        body += Format(", return code: 0x%08x (", static_cast<std::uint32_t>(value));
        body += ResultText(value);
        body += ')';
    }
    return WriteLine(body);
}

// Closes, renames and reopens the file when it has reached the limit. False when the
// reopen failed: the trace then stays closed.
bool TraceFile::RotateIfNeeded(const LocalTime& now) {
    if (sizeLimitKb_ == 0) return true;
    const auto size = file_->Size();
    if (!size || *size / 1024 < sizeLimitKb_) return true;
    file_.reset();
    // The first rotation of a minute takes the minute's name, later ones the next counter
    // after the highest of the minute, so that names keep their order even after the oldest
    // files of the minute were removed. A failed rename keeps appending to the old file; the
    // next line tries again.
    const std::string stamp =
        Format("%04d%02d%02d%02d%02d", now.year, now.month, now.day, now.hour, now.minute);
    unsigned next = 0;
    for (const RotatedFile& file : RotatedFiles()) {
        if (file.stamp == stamp) next = std::max(next, static_cast<unsigned>(file.counter) + 1);
    }
    for (unsigned counter = next; counter <= next + kMaxRotationsPerMinute; ++counter) {
        const std::string rotated = RotatedTraceName(fileName_, now, counter);
        if (rotated.empty()) break;
        if (files_.Exists(rotated)) continue;
        if (files_.RenameNoReplace(fileName_, rotated)) RemoveOldRotatedFiles();
        break;
    }
    file_ = files_.OpenAppend(fileName_);
    if (!file_ && lossReport_) lossReport_(fileName_);
    return file_ != nullptr;
}

std::vector<TraceFile::RotatedFile> TraceFile::RotatedFiles() const {
    const TraceNameParts parts = SplitTraceName(fileName_);
    const std::string directory = parts.directory.size() > 1
                                      ? parts.directory.substr(0, parts.directory.size() - 1)
                                      : parts.directory;
    const std::string live = fileName_.substr(parts.directory.size());
    std::vector<RotatedFile> rotated;
    for (const std::string& name : files_.ListDirectory(directory)) {
        if (name == live) continue;
        if (auto order = RotationOrder(name, parts.extension)) {
            rotated.push_back({order->first, order->second, parts.directory + name});
        }
    }
    std::sort(rotated.begin(), rotated.end(), [](const RotatedFile& a, const RotatedFile& b) {
        return std::tie(a.stamp, a.counter) < std::tie(b.stamp, b.counter);
    });
    return rotated;
}

// Keeps the newest rotated files, as many as the limit allows; the oldest go.
void TraceFile::RemoveOldRotatedFiles() {
    if (rotatedFileLimit_ == 0) return;
    const std::vector<RotatedFile> rotated = RotatedFiles();
    if (rotated.size() <= rotatedFileLimit_) return;
    const std::size_t surplus = rotated.size() - rotatedFileLimit_;
    for (std::size_t i = 0; i < surplus; ++i) files_.Remove(rotated[i].path);
}

bool TraceFile::WriteLine(std::string_view body) {
    std::shared_ptr<const Echo> echo;
    std::string line;
    bool written = false;
    {
        std::lock_guard lock(traceLock_);
        const LocalTime now = clock_.NowLocal();
        if (!file_) return false;
        if (!RotateIfNeeded(now)) return false;
        line = TraceStamp(now);
        line += "> ";
        line += body;
        const std::string bytes = Utf8ToUtf16LeBytes(line + "\r\n");
        written = file_->Write(bytes.data(), bytes.size()) == bytes.size();
        echo = echo_;
    }
    if (echo) (*echo)(line);
    return written;
}

void InstallTrace(TraceFile* trace) { g_trace.store(trace); }

bool Trace(std::string_view text) {
    TraceFile* trace = g_trace.load();
    return trace != nullptr && trace->Trace(text);
}

bool TraceResult(std::string_view text, std::int32_t value, bool isResult) {
    TraceFile* trace = g_trace.load();
    return trace != nullptr && trace->TraceResult(text, value, isResult);
}

}  // namespace velk

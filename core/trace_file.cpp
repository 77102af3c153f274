#include "core/trace_file.h"

#include <atomic>
#include <climits>
#include <cstdio>

#include "platform/text.h"

namespace velk {
namespace {
std::atomic<TraceFile*> g_trace{nullptr};

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

std::string RotatedTraceName(const std::string& fileName, const LocalTime& now) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = fileName.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    std::string rotated = fileName.substr(0, nameStart);
    rotated += Format("%04d%02d%02d%02d%02d", now.year, now.month, now.day, now.hour, now.minute);
    if (hasExtension) rotated += fileName.substr(dot);
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
    echo_ = std::move(echo);
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
    const std::string rotated = RotatedTraceName(fileName_, now);
    // A failed rename (a file of that name exists already) keeps appending to the old file.
    if (!rotated.empty()) files_.RenameNoReplace(fileName_, rotated);
    file_ = files_.OpenAppend(fileName_);
    return file_ != nullptr;
}

bool TraceFile::WriteLine(std::string_view body) {
    std::lock_guard lock(traceLock_);
    const LocalTime now = clock_.NowLocal();
    if (!file_) return false;
    if (!RotateIfNeeded(now)) return false;
    std::string line = TraceStamp(now);
    line += "> ";
    line += body;
    if (echo_) echo_(line);
    line += "\r\n";
    const std::string bytes = Utf8ToUtf16LeBytes(line);
    return file_->Write(bytes.data(), bytes.size()) == bytes.size();
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

#pragma once
// The server's running log: UTF-16LE lines ended by CR LF, stamped with the local time to
// the millisecond, rotated by size. Any thread may write; one lock serialises every write
// and rotation and is the innermost lock of the process.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/hresult.h"

namespace velk {

class TraceFile {
  public:
    TraceFile(const IClock& clock, IFileSystem& files);

    // The "TraceFile" settings; a changed name takes effect at the next rotation, a
    // changed limit (kilobytes, 0 = none) at the next write.
    void SetFileName(std::string fileName);
    void SetSizeLimit(std::uint32_t kilobytes);
    // How many rotated files are kept (0 = all); the oldest go after each rotation.
    void SetRotatedFileLimit(std::uint32_t count);
    std::string FileName() const;

    // Opens the named file at its end (creating it); false leaves the trace closed.
    bool OpenTrace();
    void CloseTrace();
    bool IsOpen() const;

    // One line "<stamp>> text"; true when every byte was written.
    bool Trace(std::string_view text);
    // "<stamp>> text value" (isResult false), or the text with ", return code: ..." (true).
    bool TraceResult(std::string_view text, std::int32_t value, bool isResult);

    // Also hands every written line (UTF-8, without CR LF) to the echo, after the lock is
    // released: an echo that is slow to write holds up only the thread whose line it is.
    // Lines of several threads may reach the echo in another order than the file.
    void SetEcho(std::function<void(const std::string&)> echo);
    // Called with the file name, under the lock, when the file cannot be opened again after
    // a rotation (the trace then stays closed), so that the loss is told somewhere.
    void SetLossReport(std::function<void(const std::string&)> report);

  private:
    bool WriteLine(std::string_view body);
    struct RotatedFile {
        std::string stamp;  // YYYYMMDDhhmm
        unsigned long counter = 0;
        std::string path;
    };

    bool RotateIfNeeded(const LocalTime& now);
    // The rotated files beside the trace file, oldest first.
    std::vector<RotatedFile> RotatedFiles() const;
    void RemoveOldRotatedFiles();

    const IClock& clock_;
    IFileSystem& files_;
    mutable std::recursive_mutex traceLock_;  // TraceLock
    std::string fileName_;
    std::uint32_t sizeLimitKb_ = 1024;
    std::uint32_t rotatedFileLimit_ = 100;
    std::unique_ptr<IAppendFile> file_;
    using Echo = std::function<void(const std::string&)>;
    std::shared_ptr<const Echo> echo_;  // taken under the lock, called outside it
    std::function<void(const std::string&)> lossReport_;
};

// The name of a rotated trace file: same directory and extension, base name from the local
// time as YYYYMMDDhhmm, and for the second and later rotations of a minute "-1", "-2", ...
// after it (counter). Empty when the result would exceed the platform's path limit.
std::string RotatedTraceName(const std::string& fileName, const LocalTime& now,
                             unsigned counter = 0);

// "2015.03.07 14:05:09.123" for the trace's stamp.
std::string TraceStamp(const LocalTime& time);

// Text for a result code: a fixed English text for the codes the system returns, else
// "IDispatch error #n" or "Unknown error 0x...".
std::string ResultText(HRESULT value);
// The system's message text for an error number (errno); empty when there is none.
std::string SystemErrorText(int errorNumber);

// The process-wide trace that every subsystem writes to. Calls do nothing (and return
// false) until a trace file is installed.
void InstallTrace(TraceFile* trace);
bool Trace(std::string_view text);
bool TraceResult(std::string_view text, std::int32_t value, bool isResult);

}  // namespace velk

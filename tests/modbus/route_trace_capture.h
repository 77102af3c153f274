#pragma once
// Installs a process-wide trace over memory files for one test and collects its lines.
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "core/trace_file.h"
#include "tests/support/fake_clock.h"
#include "tests/support/memory_file_system.h"

namespace velk::testing {

class RouteTraceCapture {
  public:
    RouteTraceCapture() : trace_(clock_, files_) {
        trace_.SetFileName("/log/trace.txt");
        trace_.SetSizeLimit(0);
        trace_.OpenTrace();
        trace_.SetEcho([this](const std::string& line) {
            const std::lock_guard<std::mutex> hold(lock_);
            lines.push_back(line);
        });
        InstallTrace(&trace_);
    }
    ~RouteTraceCapture() { InstallTrace(nullptr); }
    RouteTraceCapture(const RouteTraceCapture&) = delete;
    RouteTraceCapture& operator=(const RouteTraceCapture&) = delete;

    // As written, with the time stamp; read it directly only where no other thread traces.
    std::vector<std::string> lines;

    // The lines holding part, counted while other threads may be tracing.
    int CountContaining(const std::string& part) const {
        const std::lock_guard<std::mutex> hold(lock_);
        return static_cast<int>(
            std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& l) { return l.find(part) != std::string::npos; }));
    }

  private:
    mutable std::mutex lock_;
    FakeClock clock_;
    MemoryFileSystem files_;
    TraceFile trace_;
};

}  // namespace velk::testing

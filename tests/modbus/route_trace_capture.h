#pragma once
// Installs a process-wide trace over memory files for one test and collects its lines.
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
        trace_.SetEcho([this](const std::string& line) { lines.push_back(line); });
        InstallTrace(&trace_);
    }
    ~RouteTraceCapture() { InstallTrace(nullptr); }
    RouteTraceCapture(const RouteTraceCapture&) = delete;
    RouteTraceCapture& operator=(const RouteTraceCapture&) = delete;

    std::vector<std::string> lines;  // as written, with the time stamp

  private:
    FakeClock clock_;
    MemoryFileSystem files_;
    TraceFile trace_;
};

}  // namespace velk::testing

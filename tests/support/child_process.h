#pragma once
// A program started by a test, with its own environment additions and its standard output
// and error captured in a file. The destructor kills what is still running.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace velk::testing {

class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts program with arguments; environment entries "NAME=value" are added to (and
    // override) this process's environment. Output goes to outputPath.
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment, const std::string& outputPath);
    bool Signal(int signal);
    // Waits for the end; the exit status as from waitpid, or -1 on time-out.
    int Wait(std::chrono::milliseconds timeout);
    bool Running();
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Runs a program to its end and returns its exit code (-1 when it did not end in time or
// was killed by a signal).
int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment, const std::string& outputPath,
               std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Polls a condition every 20 ms until it holds or the time-out passes.
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        struct timespec pause {
            0, 20'000'000
        };
        nanosleep(&pause, nullptr);
    }
    return true;
}

std::string ReadFile(const std::string& path);
// A fresh directory below /tmp, removed with everything in it by the destructor.
class TempDirectory {
  public:
    TempDirectory();
    ~TempDirectory();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace velk::testing

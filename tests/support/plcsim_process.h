#pragma once
// Runs velkopc-plcsim as a child process for a test: waits until it is ready, learns the
// ports it listens on, sends control commands over its control socket and stops it.
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace velk::test {

class PlcsimProcess {
  public:
    PlcsimProcess();
    ~PlcsimProcess();
    PlcsimProcess(const PlcsimProcess&) = delete;
    PlcsimProcess& operator=(const PlcsimProcess&) = delete;

    // Starts the simulator with the arguments (a control socket is added); false with the
    // reason when it did not report ready within a few seconds.
    bool Start(const std::vector<std::string>& arguments, std::string& error);
    // The port of TCP channel n (1-based); 0 when unknown.
    int TcpPort(int channel) const;
    // One control command; the reply without its closing "ok" line, or the "error: " line.
    std::string Command(const std::string& line);
    // A value of the "report" command, such as "requests.fc3"; -1 when absent.
    long ReportValue(const std::string& key);
    std::string ReportText(const std::string& key);
    void Stop();
    // A fresh directory for sockets and pseudo terminals of this test.
    const std::string& Directory() const { return directory_; }

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string directory_;
    std::map<int, int> ports_;
};

// Runs "socat" to make a connected pair of pseudo terminals at the two paths; kept while
// the object lives.
class PtyPair {
  public:
    ~PtyPair();
    // false when socat is missing or the links did not appear.
    bool Start(const std::string& first, const std::string& second);
    void Stop();

  private:
    pid_t pid_ = -1;
};

// Whether a program of that name is on the PATH.
bool HaveProgram(const std::string& name);

}  // namespace velk::test

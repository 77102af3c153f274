#pragma once
// A message bus daemon of the test's own, on a socket in a temporary directory, so that no
// test ever touches the user's or the system's bus. An optional services directory makes
// the daemon start services on demand (bus activation).
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace velk::testing {

class PrivateBus {
  public:
    PrivateBus() = default;
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Starts the daemon; false when it did not come up (the reason in Problem()).
    // extraConfig is inserted into the daemon's configuration as it stands; environment
    // entries ("NAME=value") reach the services that the daemon starts.
    bool Start(const std::string& servicesDirectory = {}, const std::string& extraConfig = {},
               const std::vector<std::string>& environment = {});
    // Ends the daemon, as if the bus went away under its clients.
    void Stop();
    const std::string& Address() const { return address_; }
    const std::string& Problem() const { return problem_; }
    // The daemon's own output (activation failures are reported there).
    std::string Output() const;
    const std::string& Directory() const { return directory_.Path(); }

  private:
    TempDirectory directory_;
    ChildProcess daemon_;
    std::string address_;
    std::string problem_;
};

}  // namespace velk::testing

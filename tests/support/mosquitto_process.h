#pragma once
// A mosquitto broker started by a test on a free loopback port, with a configuration file of
// its own in a fresh directory; killed by the destructor.
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace velk::testing {

class MosquittoProcess {
  public:
    // Starts the broker with the extra configuration lines; on a port of an earlier Start
    // when one is given (a broker started again where its clients expect it). False when
    // mosquitto is missing or did not listen within a few seconds.
    bool Start(const std::vector<std::string>& configuration = {}, int port = 0);
    void Stop();
    int Port() const { return port_; }
    std::string TcpUrl() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    const TempDirectory& Directory() const { return directory_; }

  private:
    TempDirectory directory_;
    ChildProcess process_;
    int port_ = 0;
};

// A test CA "testca" (testca.crt, testca.key) and a broker certificate for localhost and
// 127.0.0.1 signed by it (server.crt, server.key) in the directory; false without openssl.
bool MakeTestCertificates(const std::string& directory);

// A port on 127.0.0.1 that nothing listens on at the moment of the call.
int FreeLoopbackPort();

}  // namespace velk::testing

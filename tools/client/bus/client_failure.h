#pragma once
// A failure that ends the command: its text for standard error (without the program name)
// and the program's exit status. Commands throw it; main prints it.
#include <stdexcept>
#include <string>

#include "tools/client/lib/invocation.h"

namespace velk::client {

class ClientFailure : public std::runtime_error {
  public:
    ClientFailure(int exitStatus, const std::string& text)
        : std::runtime_error(text), exitStatus_(exitStatus) {}
    int ExitStatus() const { return exitStatus_; }

  private:
    int exitStatus_;
};

}  // namespace velk::client

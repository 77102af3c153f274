#pragma once
#include <functional>
#include <string>

#include "platform/session.h"

namespace velk {

// Administrator = effective uid 0 or member of the group "velkopc-admin". The environment
// variable VELKOPC_NOT_ADMIN=1 withdraws the rights (it can only ever take them away), so
// that the behaviour for ordinary users can be tried and tested on any account.
class PosixAdminCheck final : public IAdminCheck {
  public:
    bool IsAdministrator() const override;
};

// Message boxes of a process without a window: the text goes to standard error and to a
// second sink (the trace file).
class ConsoleMessageBox final : public IMessageBox {
  public:
    explicit ConsoleMessageBox(std::function<void(const std::string&)> alsoTo = nullptr)
        : alsoTo_(std::move(alsoTo)) {}
    void Show(const std::string& text, MessageKind kind) override;
    bool AskYesNo(const std::string& text) override;

  private:
    std::function<void(const std::string&)> alsoTo_;
};

}  // namespace velk

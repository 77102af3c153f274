#pragma once
// The user's rights and message boxes as the settings tests set and watch them.
#include <string>
#include <vector>

#include "platform/session.h"

namespace velk::testing {

class SettableAdmin final : public IAdminCheck {
  public:
    explicit SettableAdmin(bool administrator) : administrator_(administrator) {}
    bool IsAdministrator() const override { return administrator_; }
    void Set(bool administrator) { administrator_ = administrator; }

  private:
    bool administrator_;
};

class RecordingMessageBox final : public IMessageBox {
  public:
    void Show(const std::string& text, MessageKind) override { shown.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        shown.push_back(text);
        return false;
    }
    std::vector<std::string> shown;
};

}  // namespace velk::testing

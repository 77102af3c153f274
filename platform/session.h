#pragma once
// Who runs the process and how it can talk to the user.
#include <string>

namespace velk {

class IAdminCheck {
  public:
    virtual ~IAdminCheck() = default;
    virtual bool IsAdministrator() const = 0;
};

enum class MessageKind { Information, Warning, Error };

class IMessageBox {
  public:
    virtual ~IMessageBox() = default;
    virtual void Show(const std::string& text, MessageKind kind) = 0;
    // A yes/no question; a box that cannot ask answers no.
    virtual bool AskYesNo(const std::string& text) = 0;
};

}  // namespace velk

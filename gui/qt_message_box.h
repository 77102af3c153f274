#pragma once
// Message boxes of the server and the document as Qt message boxes over a window. Headless
// test runs can record the texts instead (see Record).
#include <QWidget>
#include <functional>
#include <string>

#include "gui/application_title.h"
#include "platform/session.h"

namespace velk::gui {

inline constexpr const char* kMessageBoxTitle = kApplicationTitle;

class QtMessageBox final : public IMessageBox {
  public:
    explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void Show(const std::string& text, MessageKind kind) override;
    bool AskYesNo(const std::string& text) override;

    // Tests and the screenshot run: every box is handed here instead of being shown; a
    // question is answered by the returned value.
    using Recorder = std::function<bool(const std::string& text, MessageKind kind)>;
    static void Record(Recorder recorder);

  private:
    QWidget* parent_;
};

}  // namespace velk::gui

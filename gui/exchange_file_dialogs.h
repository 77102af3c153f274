#pragma once
// The open and save dialogs of the CSV and RES commands, as Qt file dialogs.
#include <QStringList>

#include "exchange/exchange_dialogs.h"

class QWidget;

namespace velk::gui {

// "Label|pattern|Label|pattern||" as Qt's name filters ("Label (pattern)").
QStringList NameFilters(const std::string& filter);

class QtExchangeDialogs final : public IExchangeDialogs {
  public:
    explicit QtExchangeDialogs(QWidget* parent) : parent_(parent) {}
    bool OpenFile(const FileDialogRequest& request, std::string& path) override;
    bool SaveFile(const FileDialogRequest& request, std::string& path,
                  std::int32_t& filterIndex) override;

  private:
    QWidget* parent_;
};

}  // namespace velk::gui

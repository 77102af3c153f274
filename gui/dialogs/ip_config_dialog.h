#pragma once
// "IP address configuration": per channel "IP address:", "Gateway device:" (the host's
// adapters) and "Gateway address:" (an editable list of the chosen adapter's addresses),
// drawn over IpConfigDialogModel. OK stores the four texts as typed.
#include <QDialog>
#include <array>

#include "modbus/ip_config_dialog_model.h"

class QComboBox;
class QLineEdit;

namespace velk::gui {

class IpConfigDialog final : public QDialog {
  public:
    IpConfigDialog(const NetworkAdapterList& adapters, const IpAddresses& stored,
                   QWidget* parent = nullptr);
    IpAddresses Result() const { return model_.Ok(); }
    IpConfigDialogModel& Model() { return model_; }

  private:
    struct ChannelWidgets {
        QLineEdit* address = nullptr;
        QComboBox* device = nullptr;
        QComboBox* gateway = nullptr;
    };
    void Sync(IpChannel channel);

    IpConfigDialogModel model_;
    std::array<ChannelWidgets, 2> channels_;
};

}  // namespace velk::gui

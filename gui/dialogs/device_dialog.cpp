#include "gui/dialogs/device_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/dialogs/comm_alarms_dialog.h"
#include "model/device_dialog_rules.h"
#include "model/device_field_settings.h"
#include "platform/session.h"

namespace velk::gui {
namespace {

QComboBox* PortList(const std::vector<std::string>& names, const std::string& current,
                    QWidget* owner) {
    auto* list = new QComboBox(owner);
    for (const std::string& name : names) list->addItem(QString::fromStdString(name));
    list->setCurrentIndex(list->findText(QString::fromStdString(current)));
    return list;
}

}  // namespace

DeviceDialog::DeviceDialog(DeviceDialogValues& values,
                           const std::vector<std::string>& enabledPortNames,
                           DeviceDialogServices services, QWidget* parent)
    : QDialog(parent),
      values_(values),
      params_(values.params),
      alarms_(values.commAlarms),
      services_(std::move(services)) {
    setObjectName("deviceProperties");
    setWindowTitle("Device Properties");
    auto* layout = new QVBoxLayout(this);
    auto* top = new QFormLayout;
    name_ = new QLineEdit(QString::fromStdString(values.name), this);
    name_->setObjectName("deviceName");
    description_ = new QLineEdit(QString::fromStdString(values.description), this);
    description_->setObjectName("description");
    top->addRow("Device Name:", name_);
    top->addRow("Description:", description_);
    layout->addLayout(top);

    auto addField = [this](QFormLayout* form, const char* label, const char* name,
                           const QString& text) {
        auto* field = new QLineEdit(text, this);
        field->setObjectName(name);
        field->setMaximumWidth(90);
        form->addRow(label, field);
        fields_[name] = field;
        return field;
    };

    auto* columns = new QHBoxLayout;
    auto* channels = new QGroupBox("Communication", this);
    auto* grid = new QGridLayout(channels);
    primary_ = PortList(enabledPortNames, params_.primaryPortName, this);
    secondary_ = PortList(enabledPortNames, params_.secondaryPortName, this);
    primaryButton_ = new QPushButton("&1···", this);
    secondaryButton_ = new QPushButton("&2···", this);
    grid->addWidget(new QLabel("Primary:", this), 0, 0);
    grid->addWidget(primary_, 0, 1);
    grid->addWidget(primaryButton_, 0, 2);
    grid->addWidget(new QLabel("Secondary:", this), 1, 0);
    grid->addWidget(secondary_, 1, 1);
    grid->addWidget(secondaryButton_, 1, 2);
    tcp_ = new QCheckBox("Modbus &TCP/IP connection", this);
    tcp_->setObjectName("modbusTcp");
    tcp_->setChecked(params_.modbusTcp != 0);
    ipButton_ = new QPushButton("&IP address...", this);
    grid->addWidget(tcp_, 2, 0, 1, 2);
    grid->addWidget(ipButton_, 2, 2);
    auto* numbers = new QFormLayout;
    addField(numbers, "Address:", "address", QString::number(params_.slaveAddress));
    addField(numbers, "Timeout:", "timeout", QString::number(params_.timeout));
    addField(numbers, "Tag scan:", "tagScan", QString::number(params_.tagScan));
    addField(numbers, "Event scan:", "eventScan", QString::number(params_.eventScan));
    grid->addLayout(numbers, 3, 0, 1, 3);
    columns->addWidget(channels);

    auto* options = new QVBoxLayout;
    auto* typeRow = new QFormLayout;
    deviceType_ = new QComboBox(this);
    deviceType_->addItems({"General", "Kestrel", "Tessera"});
    deviceType_->setCurrentIndex(params_.deviceType);
    typeRow->addRow("Device Type:", deviceType_);
    options->addLayout(typeRow);
    auto* area = new QGroupBox("Event area", this);
    auto* areaRow = new QHBoxLayout(area);
    master1_ = new QRadioButton("Master #&1", area);
    master2_ = new QRadioButton("Master #&2", area);
    (params_.eventArea == 1 ? master2_ : master1_)->setChecked(true);
    areaRow->addWidget(master1_);
    areaRow->addWidget(master2_);
    options->addWidget(area);
    wordSwap_ = new QCheckBox("&Word Swap", this);
    wordSwap_->setChecked(params_.wordSwap != 0);
    readInitially_ = new QCheckBox("Initially &read event status", this);
    readInitially_->setChecked(params_.initiallyReadEventStatus != 0);
    readAfterFailure_ = new QCheckBox("Read event status after comm. &failure", this);
    readAfterFailure_->setChecked(params_.readEventStatusAfterCommFailure != 0);
    for (QCheckBox* box : {wordSwap_, readInitially_, readAfterFailure_}) options->addWidget(box);
    auto* sync = new QGroupBox("Time synchronisation", this);
    auto* syncRow = new QHBoxLayout(sync);
    syncRow->addWidget(new QLabel("every", sync));
    auto* minutes = new QLineEdit(QString::number(params_.timeSync & 0x7FFF), sync);
    minutes->setObjectName("timeSyncMinutes");
    minutes->setMaximumWidth(60);
    fields_["timeSyncMinutes"] = minutes;
    syncRow->addWidget(minutes);
    syncRow->addWidget(new QLabel("minutes", sync));
    syncAtStartup_ = new QCheckBox("at &startup", sync);
    syncAtStartup_->setChecked((params_.timeSync & 0x8000) != 0);
    syncRow->addWidget(syncAtStartup_);
    options->addWidget(sync);
    auto* supervisor = new QGroupBox("Supervisor", this);
    auto* supervisorForm = new QFormLayout(supervisor);
    addField(supervisorForm, "Millisec.:", "supervisorTime",
             QString::number(params_.supervisorTime));
    addField(supervisorForm, "Retries:", "supervisorRetries",
             QString::number(params_.supervisorRetries));
    options->addWidget(supervisor);
    auto* alarmsButton = new QPushButton("Comm. &Alarms...", this);
    options->addWidget(alarmsButton);
    connect(alarmsButton, &QPushButton::clicked, this, [this] {
        // Edits a copy; the device takes it with the dialog's OK.
        if (services_.messages == nullptr) return;
        CommAlarmsDialog dialog(alarms_, *services_.messages, this);
        dialog.exec();
    });
    simulation_ = new QCheckBox("Simulation enabled", this);
    simulation_->setChecked(values.simulationEnabled != 0);
    options->addWidget(simulation_);
    columns->addLayout(options);
    layout->addLayout(columns);

    // Settings for controllers and gateways that need them; the defaults suit most.
    auto* field = new QGroupBox("Field settings", this);
    field->setObjectName("fieldSettings");
    auto* fieldGrid = new QGridLayout(field);
    const std::map<std::uint16_t, std::string> fieldTexts = FieldSettingTexts(params_);
    int checkRow = 0;
    int textRow = 0;
    for (const DeviceFieldSetting& setting : DeviceFieldSettings()) {
        const QString name = QString("fieldSetting%1").arg(setting.key);
        if (setting.flag) {
            auto* box = new QCheckBox(setting.label, field);
            box->setObjectName(name);
            box->setChecked(params_.*setting.member != 0);
            fieldGrid->addWidget(box, checkRow++, 0, 1, 2);
            fieldSettingChecks_[setting.key] = box;
            continue;
        }
        auto* text = new QLineEdit(QString::fromStdString(fieldTexts.at(setting.key)), field);
        text->setObjectName(name);
        text->setMaximumWidth(90);
        const int row = textRow / 2;
        const int column = 2 + 2 * (textRow % 2);
        fieldGrid->addWidget(new QLabel(setting.label, field), row, column);
        fieldGrid->addWidget(text, row, column + 1);
        fieldSettingTexts_[setting.key] = text;
        ++textRow;
    }
    layout->addWidget(field);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Ok(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tcp_, &QCheckBox::toggled, this, [this](bool on) {
        SetModbusTcpConnection(params_, on);
        ApplyTcpRule();
    });
    connect(primaryButton_, &QPushButton::clicked, this, [this] { OpenPort(primary_); });
    connect(secondaryButton_, &QPushButton::clicked, this, [this] { OpenPort(secondary_); });
    connect(ipButton_, &QPushButton::clicked, this, [this] {
        if (services_.editIpAddresses) services_.editIpAddresses(params_);
    });
    ApplyTcpRule();
}

QLineEdit* DeviceDialog::Field(const QString& objectName) const {
    auto it = fields_.find(objectName);
    return it == fields_.end() ? nullptr : it->second;
}

void DeviceDialog::ApplyTcpRule() {
    const bool tcp = tcp_->isChecked();
    for (QWidget* w :
         {static_cast<QWidget*>(primary_), static_cast<QWidget*>(secondary_),
          static_cast<QWidget*>(primaryButton_), static_cast<QWidget*>(secondaryButton_)}) {
        w->setEnabled(!tcp);
    }
    ipButton_->setEnabled(tcp && static_cast<bool>(services_.editIpAddresses));
}

void DeviceDialog::OpenPort(QComboBox* list) {
    if (!services_.ports || !services_.editPort) return;
    // The port at the list's position in the whole port list, as the button always did.
    const std::vector<OPort*> ports = services_.ports();
    const int index = list->currentIndex();
    if (index < 0 || index >= static_cast<int>(ports.size())) return;
    services_.editPort(ports, ports[static_cast<std::size_t>(index)]);
}

bool DeviceDialog::Ok() {
    DeviceDialogTexts texts;
    texts.address = Field("address")->text().toStdString();
    texts.timeout = Field("timeout")->text().toStdString();
    texts.tagScan = Field("tagScan")->text().toStdString();
    texts.eventScan = Field("eventScan")->text().toStdString();
    texts.supervisorTime = Field("supervisorTime")->text().toStdString();
    texts.timeSyncMinutes = Field("timeSyncMinutes")->text().toStdString();
    texts.supervisorRetries = Field("supervisorRetries")->text().toStdString();
    texts.timeSyncAtStartup = syncAtStartup_->isChecked();
    ODeviceParams result = params_;
    if (const auto message = ApplyDeviceDialogTexts(texts, result)) {
        if (services_.messages) services_.messages->Show(*message, MessageKind::Warning);
        return false;
    }
    std::map<std::uint16_t, std::string> fieldTexts;
    for (const auto& [key, text] : fieldSettingTexts_) fieldTexts[key] = text->text().toStdString();
    std::map<std::uint16_t, bool> fieldChecks;
    for (const auto& [key, box] : fieldSettingChecks_) fieldChecks[key] = box->isChecked();
    if (const auto message = ApplyFieldSettingTexts(fieldTexts, fieldChecks, result)) {
        if (services_.messages) services_.messages->Show(*message, MessageKind::Warning);
        return false;
    }
    result.primaryPortName = primary_->currentText().toStdString();
    result.secondaryPortName = secondary_->currentText().toStdString();
    result.modbusTcp = tcp_->isChecked() ? 1 : 0;
    result.deviceType = static_cast<std::int16_t>(deviceType_->currentIndex());
    result.eventArea = master2_->isChecked() ? 1 : 0;
    result.wordSwap = wordSwap_->isChecked() ? 1 : 0;
    result.initiallyReadEventStatus = readInitially_->isChecked() ? 1 : 0;
    result.readEventStatusAfterCommFailure = readAfterFailure_->isChecked() ? 1 : 0;
    values_.name = name_->text().toStdString();
    values_.description = description_->text().toStdString();
    values_.params = result;
    values_.simulationEnabled = simulation_->isChecked() ? 1 : 0;
    values_.commAlarms = alarms_;
    accept();
    return true;
}

}  // namespace velk::gui

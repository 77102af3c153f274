#include "gui/dialogs/device_monitor_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/gui_host.h"

namespace velk::gui {

DeviceMonitorDialog::DeviceMonitorDialog(IGuiHost& host, QWidget* parent)
    : QDialog(parent), host_(host) {
    setObjectName("deviceMonitor");
    setWindowTitle("Device Monitor");
    auto* layout = new QHBoxLayout(this);
    devices_ = new QListWidget(this);
    devices_->setObjectName("devices");
    devices_->setMaximumWidth(160);
    layout->addWidget(devices_);

    auto* right = new QVBoxLayout;
    auto* channels = new QGridLayout;
    primary_ = new QRadioButton("Primary port", this);
    secondary_ = new QRadioButton("Secondary port", this);
    // The buttons show the active channel; the user does not switch it here.
    for (QRadioButton* b : {primary_, secondary_})
        b->setAttribute(Qt::WA_TransparentForMouseEvents);
    primaryName_ = new QLineEdit(this);
    secondaryName_ = new QLineEdit(this);
    primaryName_->setObjectName("primaryName");
    secondaryName_->setObjectName("secondaryName");
    for (QLineEdit* e : {primaryName_, secondaryName_}) e->setReadOnly(true);
    channels->addWidget(primary_, 0, 0);
    channels->addWidget(primaryName_, 0, 1);
    channels->addWidget(secondary_, 1, 0);
    channels->addWidget(secondaryName_, 1, 1);
    right->addLayout(channels);

    counters_ = new QTableWidget(0, 3, this);
    counters_->setObjectName("counters");
    counters_->setHorizontalHeaderLabels({"Total", "Primary", "Secondary"});
    counters_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    counters_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    counters_->setMinimumWidth(380);
    right->addWidget(counters_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    right->addWidget(buttons);
    layout->addLayout(right);

    connect(devices_, &QListWidget::currentRowChanged, this, [this](int) { Refresh(); });
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { Refresh(); });
    timer_->start(kDeviceMonitorRefreshMs);
    Refresh();
    if (devices_->count() > 0) devices_->setCurrentRow(0);
    resize(600, 300);
}

void DeviceMonitorDialog::SelectDevice(int index) { devices_->setCurrentRow(index); }

void DeviceMonitorDialog::Refresh() {
    const std::vector<DeviceMonitorModel> models = host_.DeviceMonitor();
    // The list follows the document's devices; the selection stays on its row.
    if (devices_->count() != static_cast<int>(models.size())) {
        const int row = devices_->currentRow();
        const QSignalBlocker block(devices_);
        devices_->clear();
        for (const DeviceMonitorModel& m : models)
            devices_->addItem(QString::fromStdString(m.deviceName));
        devices_->setCurrentRow(row >= 0 && row < devices_->count() ? row : 0);
    } else {
        for (int i = 0; i < devices_->count(); ++i)
            devices_->item(i)->setText(QString::fromStdString(models[i].deviceName));
    }
    const int row = devices_->currentRow();
    if (row < 0 || row >= static_cast<int>(models.size())) {
        counters_->setRowCount(0);
        return;
    }
    const DeviceMonitorModel& model = models[static_cast<std::size_t>(row)];
    primary_->setChecked(!model.secondaryActive);
    secondary_->setChecked(model.secondaryActive);
    primaryName_->setText(QString::fromStdString(model.channelNames[0]));
    secondaryName_->setText(QString::fromStdString(model.channelNames[1]));
    counters_->setRowCount(static_cast<int>(model.rows.size()));
    for (int r = 0; r < static_cast<int>(model.rows.size()); ++r) {
        const DeviceMonitorRow& data = model.rows[static_cast<std::size_t>(r)];
        counters_->setVerticalHeaderItem(r,
                                         new QTableWidgetItem(QString::fromStdString(data.label)));
        const QString cells[] = {QString::number(data.total),
                                 data.totalOnly ? QString() : QString::number(data.channel[0]),
                                 data.totalOnly ? QString() : QString::number(data.channel[1])};
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            counters_->setItem(r, c, item);
        }
    }
}

QString DeviceMonitorDialog::Cell(int row, int column) const {
    const QTableWidgetItem* item = counters_->item(row, column);
    return item ? item->text() : QString();
}

}  // namespace velk::gui

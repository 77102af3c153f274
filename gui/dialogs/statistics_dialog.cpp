#include "gui/dialogs/statistics_dialog.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <mutex>

#include "gui/gui_host.h"
#include "model/c_doc.h"
#include "model/locks.h"

namespace velk::gui {
namespace {

QLabel* AddField(QFormLayout* form, const char* label, const char* name, QWidget* owner) {
    auto* value = new QLabel("0", owner);
    value->setObjectName(name);
    value->setMinimumWidth(60);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    form->addRow(label, value);
    return value;
}

QGroupBox* Group(const char* title, QWidget* owner, QFormLayout*& form) {
    auto* box = new QGroupBox(title, owner);
    form = new QFormLayout(box);
    return box;
}

}  // namespace

StatisticsDialog::StatisticsDialog(IGuiHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    setObjectName("statistics");
    setWindowTitle("OPC Server Statistics");
    auto* layout = new QVBoxLayout(this);
    QFormLayout* form = nullptr;
    layout->addWidget(Group("Configuration", this, form));
    devices_ = AddField(form, "Devices:", "devices", this);
    tags_ = AddField(form, "Tags:", "tags", this);
    auto* servers = new QHBoxLayout;
    servers->addWidget(Group("DA Server", this, form));
    daConnections_ = AddField(form, "Connections:", "daConnections", this);
    daGroups_ = AddField(form, "Groups:", "daGroups", this);
    servers->addWidget(Group("AE Server", this, form));
    aeConnections_ = AddField(form, "Connections:", "aeConnections", this);
    aeSubscriptions_ = AddField(form, "Subscriptions:", "aeSubscriptions", this);
    layout->addLayout(servers);
    auto* close = new QPushButton("&Close", this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(close);
    layout->addLayout(row);

    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { Refresh(); });
    timer_->start(kStatisticsRefreshMs);
    Refresh();
}

void StatisticsDialog::Refresh() {
    CDoc& document = host_.Document();
    std::size_t devices = 0;
    std::size_t tags = 0;
    {
        std::lock_guard tree(document.Locks().tree);
        devices = document.rootGroup.subgroupList.size();
        tags = document.documentTagList.size();
    }
    const ServerObjectCounts counts = host_.ServerCounts();
    devices_->setNum(static_cast<int>(devices));
    tags_->setNum(static_cast<int>(tags));
    daConnections_->setNum(static_cast<int>(counts.daConnections));
    daGroups_->setNum(static_cast<int>(counts.daGroups));
    aeConnections_->setNum(static_cast<int>(counts.aeConnections));
    aeSubscriptions_->setNum(static_cast<int>(counts.aeSubscriptions));
}

QString StatisticsDialog::FieldText(const QString& objectName) const {
    const auto* label = findChild<QLabel*>(objectName);
    return label ? label->text() : QString();
}

}  // namespace velk::gui

#include "gui/toolbar_customize_dialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace velk::gui {

ToolBarCustomizeDialog::ToolBarCustomizeDialog(const ToolBarLayout& layout,
                                               std::function<const QAction*(int)> actionOf,
                                               QWidget* parent)
    : QDialog(parent), layout_(layout), actionOf_(std::move(actionOf)) {
    setObjectName("toolbarCustomize");
    setWindowTitle("Customize");
    auto* columns = new QHBoxLayout;
    list_ = new QListWidget(this);
    list_->setObjectName("toolbarButtons");
    columns->addWidget(list_);
    auto* side = new QVBoxLayout;
    up_ = new QPushButton("Move &Up", this);
    down_ = new QPushButton("Move &Down", this);
    auto* reset = new QPushButton("&Reset", this);
    up_->setObjectName("moveUp");
    down_->setObjectName("moveDown");
    reset->setObjectName("reset");
    for (QPushButton* button : {up_, down_, reset}) {
        button->setAutoDefault(false);
        side->addWidget(button);
    }
    side->addStretch();
    columns->addLayout(side);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(columns);
    outer->addWidget(buttons);

    connect(up_, &QPushButton::clicked, this, [this] { MoveCurrent(true); });
    connect(down_, &QPushButton::clicked, this, [this] { MoveCurrent(false); });
    connect(reset, &QPushButton::clicked, this, [this] { ResetLayout(); });
    connect(list_, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
    connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (filling_) return;
        layout_.SetVisible(static_cast<std::size_t>(list_->row(item)),
                           item->checkState() == Qt::Checked);
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Fill(0);
}

void ToolBarCustomizeDialog::Fill(int currentRow) {
    filling_ = true;
    list_->clear();
    for (const ToolBarLayout::Item& item : layout_.Items()) {
        auto* row = new QListWidgetItem(list_);
        if (item.commandId == ToolBarLayout::kSeparator) {
            row->setText("Separator");
            row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            continue;
        }
        if (const QAction* action = actionOf_(item.commandId)) {
            row->setText(action->text().remove('&'));
            row->setIcon(action->icon());
        }
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        row->setCheckState(item.visible ? Qt::Checked : Qt::Unchecked);
    }
    filling_ = false;
    list_->setCurrentRow(currentRow);
    UpdateButtons();
}

void ToolBarCustomizeDialog::MoveCurrent(bool up) {
    const int row = list_->currentRow();
    if (row < 0) return;
    const auto index = static_cast<std::size_t>(row);
    if (up ? layout_.MoveUp(index) : layout_.MoveDown(index)) Fill(up ? row - 1 : row + 1);
}

void ToolBarCustomizeDialog::ResetLayout() {
    layout_.Reset();
    Fill(0);
}

void ToolBarCustomizeDialog::UpdateButtons() {
    const int row = list_->currentRow();
    up_->setEnabled(row > 0);
    down_->setEnabled(row >= 0 && row + 1 < list_->count());
}

}  // namespace velk::gui

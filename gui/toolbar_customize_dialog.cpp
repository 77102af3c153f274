#include "gui/toolbar_customize_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QToolBar>
#include <QVBoxLayout>
#include <vector>

namespace velk::gui {

ToolBarCustomizeDialog::ToolBarCustomizeDialog(QToolBar& toolBar, QWidget* parent)
    : QDialog(parent) {
    setObjectName("toolbarCustomize");
    setWindowTitle("Customize");
    auto* layout = new QVBoxLayout(this);
    std::vector<std::pair<QCheckBox*, QAction*>> boxes;
    for (QAction* action : toolBar.actions()) {
        if (action->isSeparator()) continue;
        auto* box = new QCheckBox(action->text().remove('&'), this);
        box->setIcon(action->icon());
        box->setChecked(toolBar.widgetForAction(action) &&
                        toolBar.widgetForAction(action)->isVisibleTo(&toolBar));
        layout->addWidget(box);
        boxes.emplace_back(box, action);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this, boxes, &toolBar] {
        for (const auto& [box, action] : boxes) {
            if (QWidget* button = toolBar.widgetForAction(action)) {
                button->setVisible(box->isChecked());
            }
        }
        accept();
    });
}

}  // namespace velk::gui

#pragma once
// GroupDialog: "Group Properties" with "Group Name:" and "Description:".
#include <QDialog>

class QLineEdit;

namespace velk::gui {

class GroupDialog final : public QDialog {
  public:
    GroupDialog(const QString& name, const QString& description, QWidget* parent = nullptr);
    QString Name() const;
    QString Description() const;
    QLineEdit* NameField() const { return name_; }

  private:
    QLineEdit* name_;
    QLineEdit* description_;
};

}  // namespace velk::gui

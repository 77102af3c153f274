#include "gui/exchange_file_dialogs.h"

#include <QFileDialog>
#include <QStringList>

namespace velk::gui {
namespace {

std::unique_ptr<QFileDialog> MakeDialog(QWidget* parent, const FileDialogRequest& request,
                                        const QStringList& filters) {
    auto dialog = std::make_unique<QFileDialog>(parent, QString::fromStdString(request.title),
                                                QString::fromStdString(request.initialPath));
    dialog->setNameFilters(filters);
    const int index = request.filterIndex - 1;
    if (index >= 0 && index < filters.size()) dialog->selectNameFilter(filters.at(index));
    if (!request.defaultExtension.empty()) {
        dialog->setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    }
    return dialog;
}

QString NameFilter(const QString& label, const QString& pattern) {
    // Qt reads the pattern from the label's last brackets. A label that already ends with
    // its pattern is taken as it is; one that ends with an extension in brackets, such as
    // "CSV Files (.csv)", gets the pattern there instead; any other gets it appended.
    const QString trimmed = label.trimmed();
    if (trimmed.endsWith("(" + pattern + ")")) return trimmed;
    const qsizetype open = trimmed.lastIndexOf('(');
    if (trimmed.endsWith(')') && open >= 0 && trimmed.mid(open + 1).startsWith('.'))
        return trimmed.left(open) + "(" + pattern + ")";
    return trimmed + " (" + pattern + ")";
}

}  // namespace

QStringList NameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts.at(i).isEmpty()) break;
        filters << NameFilter(parts.at(i), parts.at(i + 1));
    }
    return filters;
}

bool QtExchangeDialogs::OpenFile(const FileDialogRequest& request, std::string& path) {
    const QStringList filters = NameFilters(request.filter);
    auto dialog = MakeDialog(parent_, request, filters);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return false;
    path = dialog->selectedFiles().first().toStdString();
    return true;
}

bool QtExchangeDialogs::SaveFile(const FileDialogRequest& request, std::string& path,
                                 std::int32_t& filterIndex) {
    const QStringList filters = NameFilters(request.filter);
    auto dialog = MakeDialog(parent_, request, filters);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return false;
    path = dialog->selectedFiles().first().toStdString();
    filterIndex = static_cast<std::int32_t>(filters.indexOf(dialog->selectedNameFilter())) + 1;
    if (filterIndex <= 0) filterIndex = 1;
    return true;
}

}  // namespace velk::gui

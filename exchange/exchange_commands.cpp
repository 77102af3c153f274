#include "exchange/exchange_commands.h"

#include "exchange/csv_exporter.h"
#include "exchange/csv_format.h"
#include "exchange/csv_importer.h"
#include "exchange/exchange_dialogs.h"
#include "exchange/res_importer.h"
#include "model/c_doc.h"
#include "model/document_services.h"
#include "platform/session.h"

namespace velk {
namespace {

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A document that never chose an export format uses the first.
std::int32_t EffectiveFormat(std::int32_t index) {
    return index >= kCsvAnsi && index <= kCsvUnicodeText ? index : kCsvAnsi;
}

}  // namespace

ExchangeCommands::ExchangeCommands(CDoc& document, const ExchangeServices& services,
                                   IExchangeDialogs* dialogs, const IAdminCheck* admin,
                                   const IServerCounts* counts)
    : document_(document), services_(services), dialogs_(dialogs), admin_(admin), counts_(counts) {}

bool ExchangeCommands::IsAdministrator() const {
    return admin_ != nullptr && admin_->IsAdministrator();
}

bool ExchangeCommands::NoClients() const {
    return counts_ == nullptr || counts_->ClientCount() == 0;
}

bool ExchangeCommands::IsEnabled(int commandId) const {
    switch (commandId) {
        case kIdImportCsv:
        case kIdImportRes:
            return IsAdministrator() && NoClients();
        case kIdReimportCsv:
        case kIdExportCsv:
        case kIdReexportCsv:
        case kIdReimportRes:
            return IsAdministrator();
        default:
            return false;
    }
}

bool ExchangeCommands::Run(int commandId) {
    switch (commandId) {
        case kIdImportCsv:
            return ImportCsv();
        case kIdReimportCsv:
            return ReimportCsv();
        case kIdExportCsv:
            return ExportCsv();
        case kIdReexportCsv:
            return ReexportCsv();
        case kIdImportRes:
            return ImportRes();
        case kIdReimportRes:
            return ReimportRes();
        default:
            return false;
    }
}

// Choosing a file marks the document modified even when the import then fails.
bool ExchangeCommands::ChooseImportFile(const char* filter, const char* extension,
                                        const char* title, std::string& remembered) {
    if (dialogs_ == nullptr) return false;
    FileDialogRequest request;
    request.title = title;
    request.filter = filter;
    request.defaultExtension = extension;
    std::string path;
    if (!dialogs_->OpenFile(request, path)) return false;
    remembered = path;
    document_.SetModified();
    return true;
}

bool ExchangeCommands::ImportCsv() {
    if (!IsEnabled(kIdImportCsv)) return false;
    if (!ChooseImportFile(kImportCsvFilter, "csv", kImportCsvTitle, document_.lastCsvPath))
        return false;
    return CsvImporter(document_, services_)
        .Import(document_.lastCsvPath, ImportMode::Replacing)
        .completed;
}

bool ExchangeCommands::ReimportCsv() {
    if (!IsEnabled(kIdReimportCsv)) return false;
    if (document_.lastCsvPath.empty() &&
        !ChooseImportFile(kReimportCsvFilter, "csv", kImportCsvTitle, document_.lastCsvPath))
        return false;
    return CsvImporter(document_, services_)
        .Import(document_.lastCsvPath, ImportMode::Updating)
        .completed;
}

std::string ExchangeCommands::InitialExportPath() const {
    if (!document_.lastCsvPath.empty()) return document_.lastCsvPath;
    return ReplaceAll(document_.PathName(), "vlk", "csv");
}

bool ExchangeCommands::ExportCsv() {
    if (!IsEnabled(kIdExportCsv) || dialogs_ == nullptr) return false;
    FileDialogRequest request;
    request.title = kExportCsvTitle;
    request.filter = kExportCsvFilter;
    request.defaultExtension = "csv";
    request.filterIndex = EffectiveFormat(document_.csvFilterIndex);
    request.initialPath = InitialExportPath();
    std::string path;
    std::int32_t filterIndex = request.filterIndex;
    if (!dialogs_->SaveFile(request, path, filterIndex)) return false;
    document_.csvFilterIndex = EffectiveFormat(filterIndex);
    document_.lastCsvPath = path;
    return CsvExporter(document_, services_).Export(path, document_.csvFilterIndex);
}

bool ExchangeCommands::ReexportCsv() {
    if (!IsEnabled(kIdReexportCsv)) return false;
    if (document_.lastCsvPath.empty()) return ExportCsv();
    return CsvExporter(document_, services_)
        .Export(document_.lastCsvPath, EffectiveFormat(document_.csvFilterIndex));
}

bool ExchangeCommands::ImportRes() {
    if (!IsEnabled(kIdImportRes)) return false;
    if (!ChooseImportFile(kResFilter, "txt", kImportResTitle, document_.lastResPath)) return false;
    return ResImporter(document_, services_)
        .Import(document_.lastResPath, ImportMode::Replacing)
        .completed;
}

bool ExchangeCommands::ReimportRes() {
    if (!IsEnabled(kIdReimportRes)) return false;
    if (document_.lastResPath.empty() &&
        !ChooseImportFile(kResFilter, "txt", kImportResTitle, document_.lastResPath))
        return false;
    return ResImporter(document_, services_)
        .Import(document_.lastResPath, ImportMode::Updating)
        .completed;
}

}  // namespace velk

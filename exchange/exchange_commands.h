#pragma once
// The File menu commands of the exchange: "&Import CSV...", "Rei&mport CSV",
// "&Export CSV...", "&Reexport CSV", "Im&port VELK RES Docu" and "Reimport &VELK RES Docu",
// with their enabling rules, dialogs and the paths and export format the document
// remembers.
#include <cstdint>
#include <string>

#include "exchange/exchange_services.h"

namespace velk {

class CDoc;
class IAdminCheck;
class IExchangeDialogs;
class IServerCounts;

// Command IDs of the main menu.
inline constexpr int kIdImportCsv = 32798;
inline constexpr int kIdReimportCsv = 32799;
inline constexpr int kIdExportCsv = 32800;
inline constexpr int kIdReexportCsv = 32802;
inline constexpr int kIdImportRes = 32836;
inline constexpr int kIdReimportRes = 32837;

// Dialog texts.
inline constexpr const char* kImportCsvFilter =
    "CSV Files (.csv)|*.csv|Unicode Text (*.txt)|*.txt||";
inline constexpr const char* kReimportCsvFilter = "CSV Files (.csv)|*.csv||";
inline constexpr const char* kExportCsvFilter =
    "CSV Files (ANSI) (*.csv)|*.csv|CSV Files (Unicode) (*.csv)|*.csv|CSV Files (UTF-8) "
    "(*.csv)|*.csv|Unicode Text (*.txt)|*.txt||";
inline constexpr const char* kResFilter = "RES Docu Files (.txt)|*.txt||";
inline constexpr const char* kImportCsvTitle = "Import CSV file";
inline constexpr const char* kExportCsvTitle = "Export CSV file";
inline constexpr const char* kImportResTitle = "Import VELK RES Docu file";

class ExchangeCommands {
  public:
    // Null admin check: no administrator; null counts: no clients.
    ExchangeCommands(CDoc& document, const ExchangeServices& services, IExchangeDialogs* dialogs,
                     const IAdminCheck* admin, const IServerCounts* counts);

    // Whether the command with the ID is enabled now.
    bool IsEnabled(int commandId) const;
    // Runs the command with the ID; false when it is disabled, was cancelled or failed.
    bool Run(int commandId);

    bool ImportCsv();
    bool ReimportCsv();
    bool ExportCsv();
    bool ReexportCsv();
    bool ImportRes();
    bool ReimportRes();

    // The export dialog's first file name: the remembered path, or the document's path
    // with every "vlk" replaced by "csv".
    std::string InitialExportPath() const;

  private:
    bool IsAdministrator() const;
    bool NoClients() const;
    bool ChooseImportFile(const char* filter, const char* extension, const char* title,
                          std::string& remembered);

    CDoc& document_;
    ExchangeServices services_;
    IExchangeDialogs* dialogs_;
    const IAdminCheck* admin_;
    const IServerCounts* counts_;
};

}  // namespace velk

#pragma once
// The tag list subcommands of velkopc-config:
//   export-csv FILE.vlk OUT.csv [--format 1..4]   writes every tag as a CSV tag list
//   import-csv FILE.vlk IN.csv [--update]         imports a CSV tag list and saves FILE.vlk
//   import-res FILE.vlk IN.txt [--update]         imports a RES listing and saves FILE.vlk
// Imports replace the named devices' tags unless --update is given. The user's messages go
// to stderr; a failed import leaves FILE.vlk untouched and exits with status 1.
#include <string>
#include <vector>

namespace velk {

struct ToolContext;

int RunExportCsvCommand(ToolContext& context, const std::vector<std::string>& args);
int RunImportCsvCommand(ToolContext& context, const std::vector<std::string>& args);
int RunImportResCommand(ToolContext& context, const std::vector<std::string>& args);

}  // namespace velk

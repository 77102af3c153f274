// The CSV and RES subcommands: the exchange over the real file system, its messages on
// stderr.
#include "tools/velkopc_config/csv_commands.h"

#include <iostream>

#include "exchange/csv_exporter.h"
#include "exchange/csv_format.h"
#include "exchange/csv_importer.h"
#include "exchange/res_importer.h"
#include "model/ae_event_space.h"
#include "model/headless_document_ui.h"
#include "model/user_condition_file.h"
#include "platform/linux/posix_file_reader.h"
#include "platform/linux/process_info.h"
#include "tools/velkopc_config/tool_command.h"
#include "tools/velkopc_config/tool_context.h"

namespace velk {
namespace {

constexpr std::size_t kMaxImportBytes = std::size_t{1} << 30;

// The exchange's services; user conditions come from the same file the server reads, so
// that the binary alarms' condition names survive an export and an import.
struct ExchangeTool {
    explicit ExchangeTool(ToolContext& context) : reader(kMaxImportBytes) {
        PosixFileReader conditionReader;
        LoadUserConditionFile(
            space, conditionReader,
            UserConditionDirectories(DirectoryOf(ExecutablePath()), CurrentDirectory()));
        services.ui = &ui;
        services.reader = &reader;
        services.writer = &context.files;
        services.eventSpace = &space;
        services.clock = &context.clock;
    }

    // Message boxes become lines on stderr; the tool never shows a dialog.
    HeadlessDocumentUi ui{[](const std::string& text) { std::cerr << text << '\n'; }};
    PosixFileReader reader;
    AeEventSpace space;
    ExchangeServices services;
};

// Reads the one allowed option; false for anything else.
bool ParseOption(const std::vector<std::string>& args, const std::string& option, bool takesValue,
                 bool& present, std::string& value) {
    present = false;
    if (args.size() == 2) return true;
    if (args[2] != option) return false;
    present = true;
    if (!takesValue) return args.size() == 3;
    if (args.size() != 4) return false;
    value = args[3];
    return true;
}

int UsageError(const std::string& text) {
    std::cerr << text << '\n';
    return kExitUsage;
}

ImportMode ModeOf(const std::vector<std::string>& args, bool& valid) {
    bool update = false;
    std::string unused;
    valid = ParseOption(args, "--update", false, update, unused);
    return update ? ImportMode::Updating : ImportMode::Replacing;
}

template <class Importer>
int RunImport(ToolContext& context, const std::vector<std::string>& args) {
    bool valid = false;
    const ImportMode mode = ModeOf(args, valid);
    if (!valid) return UsageError("the only option is --update");
    if (!context.Load(args[0])) return kExitFailure;
    ExchangeTool tool(context);
    const ImportReport report = Importer(context.document, tool.services).Import(args[1], mode);
    // Nothing of a failed import is saved: the configuration file stays as it was.
    if (!report.completed) return kExitFailure;
    return context.Save(args[0]) ? 0 : kExitFailure;
}

}  // namespace

int RunExportCsvCommand(ToolContext& context, const std::vector<std::string>& args) {
    bool hasFormat = false;
    std::string formatText;
    if (!ParseOption(args, "--format", true, hasFormat, formatText))
        return UsageError("the only option is --format 1..4");
    std::int32_t format = kCsvAnsi;
    if (hasFormat) {
        if (formatText.size() != 1 || formatText[0] < '1' || formatText[0] > '4')
            return UsageError(
                "--format takes 1 (ANSI), 2 (Unicode), 3 (UTF-8) or 4 (Unicode text)");
        format = formatText[0] - '0';
    }
    if (!context.Load(args[0])) return kExitFailure;
    ExchangeTool tool(context);
    return CsvExporter(context.document, tool.services).Export(args[1], format) ? 0 : kExitFailure;
}

int RunImportCsvCommand(ToolContext& context, const std::vector<std::string>& args) {
    return RunImport<CsvImporter>(context, args);
}

int RunImportResCommand(ToolContext& context, const std::vector<std::string>& args) {
    return RunImport<ResImporter>(context, args);
}

}  // namespace velk

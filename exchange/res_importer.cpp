#include "exchange/res_importer.h"

#include <memory>
#include <vector>

#include "exchange/csv_format.h"
#include "exchange/csv_importer.h"
#include "exchange/import_session.h"
#include "exchange/text_lines.h"
#include "model/c_doc.h"
#include "model/document_ui.h"
#include "model/o_binary_alarm.h"
#include "model/o_binary_data.h"
#include "platform/file_reader.h"
#include "platform/text.h"

namespace velk {
namespace {

constexpr std::string_view kBlanks = " \t\r\f\v";

std::string_view TrimRight(std::string_view text) {
    const std::size_t end = text.find_last_not_of(kBlanks);
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

std::string_view TrimLeft(std::string_view text) {
    const std::size_t start = text.find_first_not_of(kBlanks);
    return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

std::uint16_t AddressOf(const std::string& column) {
    return static_cast<std::uint16_t>(ParseIntegerPrefix(column));
}

// What a new event tag carries: the return-to-normal event and the alarm on value 0, both
// to be acknowledged.
std::unique_ptr<OBinaryAlarm> EventAlarm() {
    auto alarm = std::make_unique<OBinaryAlarm>();
    alarm->enableFlags = kNormalEventBit | OBinaryAlarm::kOnFalse;
    alarm->acknowledgeFlags = kNormalEventBit | OBinaryAlarm::kOnFalse;
    alarm->normalPriority = 100;
    alarm->normalText = "Normal";
    alarm->alarmPriority = 800;
    alarm->alarmText = "Alarm";
    return alarm;
}

void ConvertValue(OModbusTag& tag) {
    if (Failed(tag.value.ChangeType(tag.dataType))) tag.value = Variant();
}

}  // namespace

ResImporter::ResImporter(CDoc& document, const ExchangeServices& services)
    : document_(document), services_(services) {}

void ResImporter::Show(const std::string& text) {
    if (services_.ui) services_.ui->ShowMessage(text);
}

bool ResImporter::IsResFirstLine(std::string_view firstLine) {
    return TrimLeft(firstLine).starts_with("RES");
}

std::string ResImporter::ResourceName(std::string_view firstLine) {
    // Searched after the leading blanks, so that they are never taken for the separator.
    const std::string_view line = TrimRight(TrimLeft(firstLine));
    std::size_t at = line.rfind('\\');
    if (at == std::string_view::npos) at = line.rfind(' ');
    if (at == std::string_view::npos) return {};
    return Latin1ToUtf8(line.substr(at + 1));
}

std::vector<std::size_t> ResImporter::ColumnStarts(std::string_view headerLine) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < headerLine.size(); ++i)
        if (headerLine[i] >= 'A' && headerLine[i] <= 'Z') starts.push_back(i);
    return starts;
}

ResImporter::Columns ResImporter::CutColumns(std::string_view line,
                                             const std::vector<std::size_t>& starts) {
    Columns columns;
    for (std::size_t k = 0; k < kColumns && k < starts.size(); ++k) {
        const std::size_t start = starts[k];
        if (start >= line.size()) continue;
        const std::size_t length =
            k + 1 < starts.size() ? starts[k + 1] - start : std::string_view::npos;
        columns[k] = Latin1ToUtf8(TrimRight(line.substr(start, length)));
    }
    return columns;
}

bool ResImporter::NameRefused(ImportSession& session, const std::string& name) {
    if (name.find(session.Delimiter()) == std::string::npos) return false;
    session.Message(kMsgTagNameDots);
    return true;
}

bool ResImporter::PrepareDevice(ImportSession& session, const std::string& resource,
                                Target& target) {
    ODevice* device = document_.FindDevice(resource);
    if (device != nullptr) {
        if (session.Mode() == ImportMode::Replacing) session.EmptyDevice(*device);
    } else {
        device = session.CreateDevice(resource);
    }
    session.SetCurrentNode(device);
    if (device == nullptr) return false;
    target.events = &session.FindOrAddGroup(*device, "Events");
    target.tags = &session.FindOrAddGroup(*device, "Tags");
    return true;
}

bool ResImporter::ImportEventTag(ImportSession& session, OTagGroup& events, const Columns& c) {
    const std::string& name = c[0];
    OModbusTag* tag = session.FindTag(events, name);
    std::unique_ptr<OModbusTag> created;
    if (tag == nullptr) {
        if (NameRefused(session, name)) return false;
        created = std::make_unique<OModbusTag>(session.Now());
        tag = created.get();
        tag->description = name;
    }
    ImportSession::ScanPlace place;
    if (!created) place = session.BeginTagChange(*tag);
    if (created || !tag->IsBool()) {
        tag->scaling = std::make_unique<OBinaryData>();
        tag->alarm = EventAlarm();
    }
    tag->name = name;
    tag->dataType = VT_BOOL;
    tag->size = 1;
    ConvertValue(*tag);
    tag->locationKind = kEventSignal;
    tag->address = AddressOf(c[6]);
    tag->accessRights = kAccessReadable;
    tag->device = events.GetDevice();
    if (created) {
        session.AddTag(events, std::move(created));
    } else {
        session.EndTagChange(*tag, place);
    }
    return true;
}

bool ResImporter::ImportRegisterTag(ImportSession& session, OTagGroup& tags, const Columns& c) {
    const std::string& name = c[0];
    OModbusTag* tag = session.FindTag(tags, name);
    std::unique_ptr<OModbusTag> created;
    if (tag == nullptr) {
        if (NameRefused(session, name)) return false;
        created = std::make_unique<OModbusTag>(session.Now());
        tag = created.get();
    }
    ImportSession::ScanPlace place;
    if (!created) place = session.BeginTagChange(*tag);
    const std::uint16_t type = ParseDataTypeName(c[1]);
    tag->name = name;
    tag->description = name;
    // Scaling and alarm stay unless the tag moves between BOOL and the other types.
    tag->SetDataType(type);
    tag->size = RegistersOfImportedType(type);
    ConvertValue(*tag);
    tag->locationKind = type == VT_BOOL ? kOutputCoil : kHoldingRegister;
    tag->address = AddressOf(!c[5].empty() ? c[5] : c[3]);
    tag->accessRights = 0;
    if (!c[3].empty()) tag->accessRights |= kAccessReadable;
    if (!c[5].empty()) tag->accessRights |= kAccessWritable;
    tag->device = tags.GetDevice();
    if (created) {
        session.AddTag(tags, std::move(created));
    } else {
        session.EndTagChange(*tag, place);
    }
    return true;
}

ImportReport ResImporter::Import(const std::string& path, ImportMode mode) {
    ImportReport report;
    std::string bytes;
    const FileReadResult read =
        services_.reader ? services_.reader->ReadAll(path, bytes) : FileReadResult::CannotOpen;
    if (read == FileReadResult::CannotOpen) {
        Show(kMsgUnableToOpen);
        return report;
    }
    const bool readFailed = read == FileReadResult::ReadError;
    const std::vector<std::string_view> lines =
        SplitLines(readFailed ? CompleteLinesOnly(bytes) : std::string_view(bytes));

    ImportSession session(document_, services_, mode);
    // The document's format faults are shown with the error icon, a read failure without.
    auto stop = [&](const char* message, bool error) {
        if (error) {
            session.ErrorMessage(message);
        } else {
            session.Message(message);
        }
        session.Finish(0, true);
        return report;
    };
    if (lines.empty() && readFailed) return stop(kMsgReadException, false);
    if (lines.empty() || !IsResFirstLine(lines[0])) return stop(kMsgNotResDocument, true);
    const std::string resource = ResourceName(lines[0]);
    if (resource.empty()) return stop(kMsgBadResourceName, true);
    const std::vector<std::size_t> starts =
        lines.size() > 1 ? ColumnStarts(lines[1]) : std::vector<std::size_t>();
    if (starts.size() != kColumns) {
        const bool unread = readFailed && lines.size() < 2;
        return stop(unread ? kMsgReadException : kMsgBadResColumns, !unread);
    }

    Target target;
    bool stopped = false;
    for (std::size_t i = 2; !stopped && i < lines.size(); ++i) {
        const Columns c = CutColumns(lines[i], starts);
        if (i == 2 && !PrepareDevice(session, resource, target)) target = Target{};
        const bool addressesDiffer = !c[3].empty() && !c[5].empty() && c[3] != c[5];
        const bool nothingListed = c[3].empty() && c[5].empty() && c[6].empty();
        // A nameless variable could never be reached by a path.
        if (addressesDiffer || nothingListed || c[0].empty()) {
            ++report.badLines;
            continue;
        }
        if (target.events == nullptr || target.tags == nullptr) {
            session.Message(kMsgNoDeviceOrGroup);
            stopped = true;
            break;
        }
        if (!c[6].empty() && ImportEventTag(session, *target.events, c)) ++report.importedLines;
        if ((!c[3].empty() || !c[5].empty()) && ImportRegisterTag(session, *target.tags, c))
            ++report.importedLines;
    }
    return session.Conclude(report, stopped, readFailed);
}

}  // namespace velk

#include "exchange/csv_importer.h"

#include <algorithm>
#include <array>
#include <memory>

#include "exchange/csv_format.h"
#include "exchange/import_session.h"
#include "exchange/text_lines.h"
#include "model/ae_event_space.h"
#include "model/c_doc.h"
#include "model/document_ui.h"
#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "model/o_binary_data.h"
#include "platform/file_reader.h"
#include "platform/text.h"

namespace velk {
namespace {

constexpr std::size_t kMaxTagNameCharacters = 256;

using Fields = std::array<std::string_view, kCsvExtendedColumnCount>;

// Split from left to right into the header's columns; the last field runs to the end of
// the line, missing ones are empty.
Fields SplitFields(std::string_view line, char separator, std::size_t columns) {
    Fields fields{};
    std::size_t start = 0;
    for (std::size_t i = 0; i < columns && start <= line.size(); ++i) {
        const std::size_t end =
            i + 1 == columns ? std::string_view::npos : line.find(separator, start);
        if (end == std::string_view::npos) {
            fields[i] = line.substr(start);
            break;
        }
        fields[i] = line.substr(start, end - start);
        start = end + 1;
    }
    return fields;
}

// The first characters of UTF-8 text, never cutting a character in two.
std::string_view CutToCharacters(std::string_view text, std::size_t characters) {
    std::size_t at = 0;
    for (std::size_t count = 0; at < text.size(); ++count) {
        if (count == characters) return text.substr(0, at);
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
    }
    return text;
}

std::string Text(std::string_view field) { return std::string(field); }

std::uint16_t Priority(std::string_view field) {
    return static_cast<std::uint16_t>(ParseIntegerPrefix(field));
}

std::int16_t SimulationOf(std::string_view field) {
    if (EqualsNoCase(field, "RAMP")) return kSimulationRamp;
    if (EqualsNoCase(field, "SINE")) return kSimulationSine;
    if (EqualsNoCase(field, "RANDOM")) return kSimulationRandom;
    return kSimulationNone;
}

// A bit number 0 to 15; none for an empty field or any other number.
std::int16_t RegisterBitOf(std::string_view field) {
    if (field.empty()) return kNoRegisterBit;
    const std::int32_t bit = ParseIntegerPrefix(field);
    return bit >= 0 && bit <= kHighestRegisterBit ? static_cast<std::int16_t>(bit) : kNoRegisterBit;
}

std::unique_ptr<OAnalogData> AnalogScaling(const Fields& f) {
    auto scaling = std::make_unique<OAnalogData>();
    if (EqualsNoCase(f[kColConversion], "LIN")) {
        scaling->conversion = OAnalogData::kLinear;
    } else if (EqualsNoCase(f[kColConversion], "SQR")) {
        scaling->conversion = OAnalogData::kSquareRoot;
    }
    if (scaling->conversion != OAnalogData::kNone) {
        scaling->engineeringMinimum = ParseDecimalPrefix(f[kColEngMin]);
        scaling->engineeringMaximum = ParseDecimalPrefix(f[kColEngMax]);
        scaling->rawMinimum = ParseDecimalPrefix(f[kColRawMin]);
        scaling->rawMaximum = ParseDecimalPrefix(f[kColRawMax]);
        scaling->units = Text(f[kColUnit]);
        scaling->lowProcess = ParseDecimalPrefix(f[kColLowProcess]);
        scaling->highProcess = ParseDecimalPrefix(f[kColHighProcess]);
    }
    scaling->initValue = ParseDecimalPrefix(f[kColInitValue]);
    return scaling;
}

std::unique_ptr<OAnalogAlarm> AnalogAlarm(const Fields& f) {
    auto alarm = std::make_unique<OAnalogAlarm>();
    for (std::size_t level = 0; level < 4; ++level) {
        const std::size_t value = kColLoLoValue + 3 * level;
        if (f[value].empty()) continue;
        const auto bit = static_cast<std::uint16_t>(1u << level);
        alarm->enableFlags |= bit;
        alarm->levelPriority[level] = Priority(f[value + 1]);
        alarm->levelText[level] = Text(f[value + 2]);
        alarm->levelLimit[level] = ParseDecimalPrefix(f[value]);
        if (EqualsYes(f[kColLoLoAck + level])) alarm->acknowledgeFlags |= bit;
    }
    alarm->deadband = std::max(0.0, ParseDecimalPrefix(f[kColDeadband]));
    alarm->onDelay = static_cast<std::uint32_t>(std::max(0, ParseIntegerPrefix(f[kColOnDelay])));
    return alarm;
}

std::unique_ptr<OBinaryData> BinaryScaling(const Fields& f) {
    auto scaling = std::make_unique<OBinaryData>();
    if (EqualsNoCase(f[kColConversion], "INV")) scaling->conversion = OBinaryData::kInverted;
    scaling->initValue = ParseDecimalPrefix(f[kColInitValue]) != 0.0 ? 1 : 0;
    return scaling;
}

// Only user-defined entries can be named: conditions from index 4, subconditions from 8.
std::uint32_t UserConditionOf(const AeEventSpace& space, std::string_view condition,
                              std::string_view subcondition) {
    if (condition.empty()) return 0;
    const auto& conditions = space.Conditions();
    for (std::size_t c = 4; c < conditions.size(); ++c) {
        if (conditions[c].name != condition) continue;
        const auto& subconditions = space.Subconditions();
        for (std::size_t s = 8; s < subconditions.size(); ++s)
            if (subconditions[s].conditionIndex == c && subconditions[s].name == subcondition)
                return static_cast<std::uint32_t>(c) * 65536u + static_cast<std::uint32_t>(s);
        return 0;
    }
    return 0;
}

std::unique_ptr<OBinaryAlarm> BinaryAlarm(const Fields& f, const AeEventSpace& space) {
    auto alarm = std::make_unique<OBinaryAlarm>();
    std::uint16_t state = 0;
    if (f[kColLoLoValue] == "1") state = OBinaryAlarm::kOnTrue;
    if (f[kColLoLoValue] == "0") state = OBinaryAlarm::kOnFalse;
    if (state != 0) {
        alarm->enableFlags = state;
        alarm->alarmPriority = Priority(f[kColLoLoValue + 1]);
        alarm->alarmText = Text(f[kColLoLoValue + 2]);
        alarm->acknowledgeFlags = EqualsYes(f[kColLoLoAck]) ? state : 0;
    }
    alarm->source = Text(f[kColSource]);
    alarm->userCondition = UserConditionOf(space, f[kColCondition], f[kColSubcondition]);
    alarm->attributeFlag = EqualsNoCase(f[kColAttribute], "TRUE") ? 1 : 0;
    return alarm;
}

void ApplyCommonAlarmColumns(OTagAlarm& alarm, const Fields& f) {
    if (alarm.IsEnabled() && !f[kColNormalPriority].empty()) {
        alarm.enableFlags |= kNormalEventBit;
        alarm.normalPriority = Priority(f[kColNormalPriority]);
        alarm.normalText = Text(f[kColNormalText]);
        if (EqualsYes(f[kColNormalAck])) alarm.acknowledgeFlags |= kNormalEventBit;
    }
    alarm.area = Text(f[kColArea]);
    alarm.alarmClass = ParseIntegerPrefix(f[kColAlarmClass]);
}

std::vector<std::string_view> SplitPath(std::string_view path, const std::string& delimiter) {
    std::vector<std::string_view> parts;
    if (delimiter.empty()) return {path};
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = path.find(delimiter, start);
        if (at == std::string_view::npos) break;
        parts.push_back(path.substr(start, at - start));
        start = at + delimiter.size();
    }
    parts.push_back(path.substr(start));
    return parts;
}

}  // namespace

CsvImporter::CsvImporter(CDoc& document, const ExchangeServices& services)
    : document_(document), services_(services) {}

void CsvImporter::Show(const std::string& text) {
    if (services_.ui) services_.ui->ShowMessage(text);
}

bool CsvImporter::WalkPath(ImportSession& session, std::string_view path, std::string& tagName) {
    const std::vector<std::string_view> parts = SplitPath(path, session.Delimiter());
    tagName = std::string(CutToCharacters(parts.back(), kMaxTagNameCharacters));
    if (parts.size() == 1) return true;  // a bare tag name: the current node stays
    for (std::size_t i = 0; i + 1 < parts.size(); ++i)
        if (parts[i].empty()) return false;

    const std::string deviceName(parts.front());
    ODevice* device = document_.FindDevice(deviceName);
    if (device == nullptr) {
        device = session.CreateDevice(deviceName);
    } else if (device != session.CurrentNode() && session.Mode() == ImportMode::Replacing &&
               device->importMark == 0) {
        session.EmptyDevice(*device);
        device->importMark = 1;
    }
    OTagGroup* node = device;
    for (std::size_t i = 1; node != nullptr && i + 1 < parts.size(); ++i)
        node = &session.FindOrAddGroup(*node, std::string(parts[i]));
    session.SetCurrentNode(node);
    return true;
}

CsvImporter::LineOutcome CsvImporter::ImportLine(ImportSession& session, std::string_view line,
                                                 char separator, bool extended) {
    const Fields f =
        SplitFields(line, separator, extended ? kCsvExtendedColumnCount : kCsvColumnCount);
    std::string tagName;
    if (!WalkPath(session, f[kColName], tagName)) return LineOutcome::Bad;
    const std::optional<CsvLocation> location = ParseLocationText(f[kColLocation]);
    if (!location) return LineOutcome::Bad;
    OTagGroup* node = session.CurrentNode();
    if (node == nullptr) return LineOutcome::NoCurrentNode;
    // A nameless tag could never be reached by a path.
    if (tagName.empty()) return LineOutcome::Bad;

    // Everything the line sets is worked out first, so the tag changes in one step.
    const std::uint16_t type = ParseDataTypeName(f[kColDataType]);
    std::unique_ptr<OTagData> scaling;
    std::unique_ptr<OTagAlarm> alarm;
    if (type == VT_BOOL) {
        const AeEventSpace& space =
            services_.eventSpace ? *services_.eventSpace : document_.EventSpace();
        scaling = BinaryScaling(f);
        alarm = BinaryAlarm(f, space);
    } else {
        scaling = AnalogScaling(f);
        alarm = AnalogAlarm(f);
    }
    ApplyCommonAlarmColumns(*alarm, f);

    OModbusTag* tag = session.FindTag(*node, tagName);
    std::unique_ptr<OModbusTag> created;
    if (tag == nullptr) {
        created = std::make_unique<OModbusTag>(session.Now());
        tag = created.get();
    }
    ImportSession::ScanPlace place;
    if (!created) place = session.BeginTagChange(*tag);
    tag->size = RegistersOfImportedType(type);
    tag->dataType = type;
    // A value that has no form in the new type (a text that is no number) is dropped.
    if (Failed(tag->value.ChangeType(type))) tag->value = Variant();
    tag->locationKind = location->kind;
    tag->address = location->address;
    tag->name = tagName;
    tag->description = Text(f[kColDescription]);
    tag->device = node->GetDevice();
    tag->accessRights = ParseAccessText(f[kColAccess]);
    tag->defaultDisplay = Text(f[kColDefaultDisplay]);
    tag->scaling = std::move(scaling);
    tag->alarm = std::move(alarm);
    tag->simulationKind = SimulationOf(f[kColSimulation]);
    tag->byteOrder = ParseByteOrderName(f[kColByteOrder]).value_or(kByteOrderDevice);
    tag->registerBit = type == VT_BOOL ? RegisterBitOf(f[kColRegisterBit]) : kNoRegisterBit;

    if (created) {
        session.AddTag(*node, std::move(created));
    } else {
        session.EndTagChange(*tag, place);
    }
    return LineOutcome::Imported;
}

ImportReport CsvImporter::Import(const std::string& path, ImportMode mode) {
    ImportReport report;
    std::string bytes;
    const FileReadResult read =
        services_.reader ? services_.reader->ReadAll(path, bytes) : FileReadResult::CannotOpen;
    if (read == FileReadResult::CannotOpen) {
        Show(kMsgUnableToOpen);
        return report;
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        document_.csvFilterIndex = kCsvUtf8;
    } else if (bytes.starts_with("\xFF\xFE")) {
        document_.csvFilterIndex = kCsvUnicode;
    }
    const bool readFailed = read == FileReadResult::ReadError;
    const std::string text = DecodeCsvFile(bytes);
    bytes.clear();
    // After a failed read only whole lines are used: a cut line would set a tag from
    // fewer columns than it had.
    const std::vector<std::string_view> lines =
        SplitLines(readFailed ? CompleteLinesOnly(text) : std::string_view(text));

    ImportSession session(document_, services_, mode);
    bool stopped = false;
    if (lines.empty() && readFailed) {
        session.Message(kMsgReadException);
        stopped = true;
    } else if (lines.empty() || !ParseCsvHeader(lines[0])) {
        session.Message(kMsgBadCsvHeader);
        session.Finish(0, true);
        return report;
    }

    CsvHeader header;
    if (!stopped) {
        header = *ParseCsvHeader(lines[0]);
        if (header.separator == '\t') document_.csvFilterIndex = kCsvUnicodeText;
    }
    for (std::size_t i = 1; !stopped && i < lines.size(); ++i) {
        switch (ImportLine(session, lines[i], header.separator, header.extended)) {
            case LineOutcome::Imported:
                ++report.importedLines;
                break;
            case LineOutcome::Bad:
                ++report.badLines;
                break;
            case LineOutcome::NoCurrentNode:
                session.Message(kMsgNoDeviceOrGroup);
                stopped = true;
                break;
        }
    }
    return session.Conclude(report, stopped, readFailed);
}

}  // namespace velk

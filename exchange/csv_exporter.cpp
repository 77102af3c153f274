#include "exchange/csv_exporter.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "exchange/csv_format.h"
#include "exchange/text_lines.h"
#include "model/ae_event_space.h"
#include "model/c_doc.h"
#include "model/document_ui.h"
#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "model/o_binary_data.h"
#include "platform/document_file_access.h"

namespace velk {
namespace {

// The columns of one line: views of the tag's own texts and of fixed words, and of the
// numbers formatted for this line, which the line keeps.
struct Columns {
    std::array<std::string_view, kCsvExtendedColumnCount> view{};
    std::array<std::string, kCsvExtendedColumnCount> formatted;

    std::string_view& operator[](std::size_t column) { return view[column]; }
    void Format(std::size_t column, std::string text) {
        formatted[column] = std::move(text);
        view[column] = formatted[column];
    }
};

const char* YesNo(bool yes) { return yes ? "Yes" : "No"; }

bool HasRangeColumns(const OAnalogData* scaling) {
    return scaling != nullptr && (scaling->conversion == OAnalogData::kLinear ||
                                  scaling->conversion == OAnalogData::kSquareRoot);
}

void FillAnalog(const OModbusTag& tag, Columns& c) {
    const auto* scaling = dynamic_cast<const OAnalogData*>(tag.scaling.get());
    const auto* alarm = dynamic_cast<const OAnalogAlarm*>(tag.alarm.get());
    if (scaling != nullptr) {
        c.Format(kColInitValue, FormatGeneral(scaling->initValue));
        c.Format(kColConversion, scaling->GetConversionName());
    }
    if (HasRangeColumns(scaling)) {
        c.Format(kColRawMin, FormatGeneral(scaling->rawMinimum));
        c.Format(kColRawMax, FormatGeneral(scaling->rawMaximum));
        c.Format(kColEngMin, FormatGeneral(scaling->engineeringMinimum));
        c.Format(kColEngMax, FormatGeneral(scaling->engineeringMaximum));
        c[kColUnit] = scaling->units;
        c.Format(kColLowProcess, FormatGeneral(scaling->lowProcess));
        c.Format(kColHighProcess, FormatGeneral(scaling->highProcess));
    }
    if (alarm == nullptr) return;
    for (std::size_t level = 0; level < 4; ++level) {
        const std::uint16_t bit = static_cast<std::uint16_t>(1u << level);
        const std::size_t value = kColLoLoValue + 3 * level;
        if ((alarm->enableFlags & bit) != 0) {
            c.Format(value, FormatGeneral(alarm->levelLimit[level]));
            c.Format(value + 1, FormatDecimal(alarm->levelPriority[level]));
            c[value + 2] = alarm->levelText[level];
        }
        c[kColLoLoAck + level] = YesNo((alarm->acknowledgeFlags & bit) != 0);
    }
}

void FillBinary(const OModbusTag& tag, const AeEventSpace& space, Columns& c) {
    const auto* scaling = dynamic_cast<const OBinaryData*>(tag.scaling.get());
    const auto* alarm = dynamic_cast<const OBinaryAlarm*>(tag.alarm.get());
    if (scaling != nullptr) {
        c.Format(kColInitValue, FormatDecimal(scaling->initValue != 0 ? 1 : 0));
        c.Format(kColConversion, scaling->GetConversionName());
    } else {
        c[kColInitValue] = "0";
    }
    if (alarm == nullptr) return;
    const std::uint16_t state =
        alarm->enableFlags & (OBinaryAlarm::kOnFalse | OBinaryAlarm::kOnTrue);
    if (state != 0) {
        c[kColLoLoValue] = (state & OBinaryAlarm::kOnTrue) != 0 ? "1" : "0";
        c.Format(kColLoLoValue + 1, FormatDecimal(alarm->alarmPriority));
        c[kColLoLoValue + 2] = alarm->alarmText;
    }
    c[kColSource] = alarm->source;
    if (alarm->userCondition != 0) {
        c.Format(kColCondition, space.ConditionName(alarm->UserConditionIndex()));
        c.Format(kColSubcondition, space.SubconditionName(alarm->UserSubconditionIndex()));
    }
    c[kColAttribute] = alarm->attributeFlag != 0 ? "TRUE" : "FALSE";
    c[kColLoLoAck] =
        YesNo((alarm->acknowledgeFlags & (OBinaryAlarm::kOnFalse | OBinaryAlarm::kOnTrue)) != 0);
}

// Empty fields for the defaults, so that the columns show what a tag sets.
void FillFieldColumns(const OModbusTag& tag, Columns& c) {
    c.Format(kColByteOrder, ByteOrderName(tag.byteOrder));
    if (tag.registerBit != kNoRegisterBit)
        c.Format(kColRegisterBit, FormatDecimal(tag.registerBit));
    const auto* alarm = dynamic_cast<const OAnalogAlarm*>(tag.alarm.get());
    if (tag.IsBool() || alarm == nullptr) return;
    if (alarm->deadband != 0.0) c.Format(kColDeadband, FormatGeneral(alarm->deadband));
    if (alarm->onDelay != 0) c.Format(kColOnDelay, FormatDecimal(alarm->onDelay));
}

bool UsesFieldSettings(const OModbusTag& tag) {
    if (tag.HasFieldSettings()) return true;
    const auto* alarm = dynamic_cast<const OAnalogAlarm*>(tag.alarm.get());
    return !tag.IsBool() && alarm != nullptr && alarm->HasFieldSettings();
}

bool GroupUsesFieldSettings(const OTagGroup& group) {
    for (const auto& tag : group.tagList)
        if (UsesFieldSettings(*tag)) return true;
    for (const auto& sub : group.subgroupList)
        if (GroupUsesFieldSettings(*sub)) return true;
    return false;
}

// Every file error before anything was written means the file could not be created.
bool IsCreateFailure(FileError error) {
    switch (error) {
        case FileError::kDiskFull:
        case FileError::kHardwareIo:
        case FileError::kOther:
            return false;
        default:
            return true;
    }
}

}  // namespace

CsvExporter::CsvExporter(const CDoc& document, const ExchangeServices& services)
    : document_(document), services_(services) {}

void CsvExporter::Show(const std::string& text) const {
    if (services_.ui) services_.ui->ShowMessage(text);
}

std::string CsvExporter::TagLine(const OModbusTag& tag, const std::string& pathPrefix,
                                 char separator, bool extended) const {
    const std::size_t columns = extended ? kCsvExtendedColumnCount : kCsvColumnCount;
    const AeEventSpace& space =
        services_.eventSpace ? *services_.eventSpace : document_.EventSpace();
    Columns c;
    std::string path;
    path.reserve(pathPrefix.size() + tag.name.size());
    path.append(pathPrefix).append(tag.name);
    c.Format(kColName, std::move(path));
    c[kColDescription] = tag.description;
    c.Format(kColDataType, DataTypeName(tag.dataType));
    c.Format(kColLocation, tag.GetAddressText());
    c.Format(kColAccess, AccessText(tag.accessRights));
    if (tag.IsBool()) {
        FillBinary(tag, space, c);
    } else {
        FillAnalog(tag, c);
    }
    if (const OTagAlarm* alarm = tag.alarm.get()) {
        if ((alarm->enableFlags & kNormalEventBit) != 0) {
            c.Format(kColNormalPriority, FormatDecimal(alarm->normalPriority));
            c[kColNormalText] = alarm->normalText;
        }
        c[kColNormalAck] = YesNo((alarm->acknowledgeFlags & kNormalEventBit) != 0);
        c[kColArea] = alarm->area;
        c.Format(kColAlarmClass, FormatDecimal(alarm->alarmClass));
    }
    c.Format(kColSimulation, tag.GetSimulationName());
    c[kColDefaultDisplay] = tag.defaultDisplay;
    if (extended) FillFieldColumns(tag, c);
    // A line end inside a text would split the record and make its tail a line of its
    // own on import; it is written as a space.
    for (std::size_t i = 0; i < columns; ++i) {
        if (c[i].find_first_of("\r\n") == std::string_view::npos) continue;
        std::string text(c[i]);
        std::replace_if(
            text.begin(), text.end(), [](char ch) { return ch == '\r' || ch == '\n'; }, ' ');
        c.Format(i, std::move(text));
    }

    std::size_t length = columns;
    for (std::string_view field : c.view) length += field.size();
    std::string line;
    line.reserve(length);
    for (std::size_t i = 0; i < columns; ++i) {
        if (i != 0) line += separator;
        line.append(c.view[i]);
    }
    return line;
}

std::string CsvExporter::BuildText(char separator) const {
    // The field columns only when a tag of the list uses them, so that other lists stay
    // readable by programs that know the 41 columns.
    const bool extended = GroupUsesFieldSettings(document_.rootGroup);
    std::string text = CsvHeaderLine(separator, extended);
    text += '\n';
    const std::string& delimiter = document_.Settings().areaDelimiter;
    // Depth first, with the path prefix of each node; the root's prefix is empty.
    struct Frame {
        const OTagGroup* group;
        std::string prefix;
    };
    std::vector<Frame> stack{{&document_.rootGroup, std::string()}};
    while (!stack.empty()) {
        Frame frame = std::move(stack.back());
        stack.pop_back();
        for (const auto& tag : frame.group->tagList) {
            text += TagLine(*tag, frame.prefix, separator, extended);
            text += '\n';
        }
        const auto& subgroups = frame.group->subgroupList;
        for (auto it = subgroups.rbegin(); it != subgroups.rend(); ++it)
            stack.push_back({it->get(), frame.prefix + (*it)->name + delimiter});
    }
    return text;
}

bool CsvExporter::Export(const std::string& path, std::int32_t formatIndex) const {
    const CsvFormat format = CsvFormatOfIndex(formatIndex);
    std::string bytes;
    if (!EncodeTextFile(BuildText(format.separator), format.encoding, bytes)) {
        Show(kMsgWriteException);
        return false;
    }
    if (services_.writer == nullptr) {
        Show(kMsgUnableToCreate);
        return false;
    }
    // Written beside the target and renamed over it, so that a failed export never
    // leaves a shortened tag list where the previous one was.
    const std::string partial = path + ".export-partial";
    services_.writer->Remove(partial);
    if (const FileError error = services_.writer->WriteNew(partial, bytes);
        error != FileError::kNone) {
        services_.writer->Remove(partial);
        Show(IsCreateFailure(error) ? kMsgUnableToCreate : kMsgWriteException);
        return false;
    }
    if (services_.writer->Replace(partial, path) != FileError::kNone) {
        services_.writer->Remove(partial);
        Show(kMsgUnableToCreate);
        return false;
    }
    return true;
}

}  // namespace velk

// CSV export and import of 100,000 tags: in 100 devices of ten groups, or all in one
// group; import into an empty document (replacing mode), over the same tags (updating
// mode), and from a file whose lines are shuffled. Counter: bytes of the file.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "exchange/csv_exporter.h"
#include "exchange/csv_format.h"
#include "exchange/csv_importer.h"
#include "exchange/text_lines.h"
#include "model/c_doc.h"
#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "platform/document_file_access.h"
#include "platform/file_reader.h"

namespace velk {
namespace {

constexpr int kTags = 100'000;

using FileMap = std::map<std::string, std::string>;

class MemoryReader final : public IFileReader {
  public:
    explicit MemoryReader(FileMap& files) : files_(files) {}
    FileReadResult ReadAll(const std::string& path, std::string& bytes) override {
        auto it = files_.find(path);
        if (it == files_.end()) return FileReadResult::CannotOpen;
        bytes = it->second;
        return FileReadResult::Ok;
    }

  private:
    FileMap& files_;
};

class MemoryWriter final : public IDocumentFileAccess {
  public:
    explicit MemoryWriter(FileMap& files) : files_(files) {}
    FileError ReadAll(const std::string&, std::string&) override { return FileError::kOther; }
    FileError WriteNew(const std::string& path, std::string_view bytes) override {
        files_[path] = std::string(bytes);
        return FileError::kNone;
    }
    FileError Replace(const std::string& from, const std::string& to) override {
        files_[to] = std::move(files_[from]);
        files_.erase(from);
        return FileError::kNone;
    }
    void Remove(const std::string& path) override { files_.erase(path); }

  private:
    FileMap& files_;
};

// Three tags in four BOOL with a discrete alarm every tenth, the others scaled REAL
// registers with two limits every tenth.
void BuildPlant(CDoc& doc, int devices, int groups) {
    doc.AddDefaultPorts();
    const int perGroup = kTags / devices / groups;
    for (int d = 0; d < devices; ++d) {
        auto device = std::make_unique<ODevice>();
        device->name = "Device" + std::to_string(d + 1);
        device->parent = &doc.rootGroup;
        ODevice* dev = device.get();
        std::unique_ptr<OTagGroup> entry = std::move(device);
        doc.rootGroup.InsertSubgroupByName(entry);
        for (int g = 0; g < groups; ++g) {
            auto group = std::make_unique<OTagGroup>();
            group->name = "Area" + std::to_string(g + 1);
            group->parent = dev;
            OTagGroup* grp = group.get();
            dev->InsertSubgroupByName(group);
            for (int t = 0; t < perGroup; ++t) {
                auto tag = std::make_unique<OModbusTag>();
                char name[32];
                std::snprintf(name, sizeof name, "Tag%06d", t + 1);
                tag->name = name;
                tag->description = "Measurement point " + std::to_string(t + 1);
                const bool alarmed = t % 10 == 0;
                if (t % 4 != 3) {
                    tag->locationKind = kOutputCoil;
                    tag->address = static_cast<std::uint16_t>(t);
                    if (alarmed) {
                        auto& alarm = dynamic_cast<OBinaryAlarm&>(*tag->alarm);
                        alarm.enableFlags = OBinaryAlarm::kOnTrue | kNormalEventBit;
                        alarm.alarmPriority = 700;
                        alarm.alarmText = "Tripped";
                    }
                } else {
                    tag->SetDataType(VT_R4);
                    tag->locationKind = kHoldingRegister;
                    tag->address = static_cast<std::uint16_t>(2 * t);
                    tag->size = 2;
                    auto& scaling = dynamic_cast<OAnalogData&>(*tag->scaling);
                    scaling.conversion = OAnalogData::kLinear;
                    scaling.rawMaximum = 27648;
                    scaling.engineeringMaximum = 250;
                    scaling.units = "bar";
                    if (alarmed) {
                        auto& alarm = dynamic_cast<OAnalogAlarm&>(*tag->alarm);
                        alarm.enableFlags = OAnalogAlarm::kLowBit | OAnalogAlarm::kHighBit;
                        alarm.levelLimit = {0, 10, 240, 0};
                        alarm.levelText = {"", "low", "high", ""};
                    }
                }
                OModbusTag* added = tag.get();
                grp->tagList.push_back(std::move(tag));
                doc.RegisterTag(*grp, added);
            }
        }
    }
}

struct Layout {
    int devices;
    int groups;
};
constexpr Layout kLayouts[] = {{100, 10}, {1, 1}};

std::string ExportedText(const Layout& layout, std::int32_t format, bool shuffled) {
    CDoc doc(CDocServices{}, ModelSettings{});
    BuildPlant(doc, layout.devices, layout.groups);
    FileMap files;
    MemoryWriter writer(files);
    ExchangeServices services;
    services.writer = &writer;
    CsvExporter(doc, services).Export("/tags.csv", format);
    std::string bytes = files.at("/tags.csv");
    if (!shuffled) return bytes;
    // Header first, then the records in a random order.
    const std::string text = DecodeCsvFile(bytes);
    std::vector<std::string_view> lines = SplitLines(text);
    std::mt19937 random(42);
    std::shuffle(lines.begin() + 1, lines.end(), random);
    std::string out;
    for (std::string_view line : lines) {
        out += line;
        out += '\n';
    }
    EncodeTextFile(out, CsvFormatOfIndex(format).encoding, bytes);
    return bytes;
}

void BM_ExportCsv(benchmark::State& state) {
    const Layout layout = kLayouts[state.range(0)];
    const auto format = static_cast<std::int32_t>(state.range(1));
    CDoc doc(CDocServices{}, ModelSettings{});
    BuildPlant(doc, layout.devices, layout.groups);
    FileMap files;
    MemoryWriter writer(files);
    ExchangeServices services;
    services.writer = &writer;
    const CsvExporter exporter(doc, services);
    for (auto _ : state) {
        if (!exporter.Export("/tags.csv", format)) state.SkipWithError("export failed");
        benchmark::DoNotOptimize(files);
    }
    state.counters["bytes"] = static_cast<double>(files.at("/tags.csv").size());
    state.counters["tags"] = static_cast<double>(doc.documentTagList.size());
}
BENCHMARK(BM_ExportCsv)
    ->ArgsProduct({{0, 1}, {kCsvAnsi, kCsvUnicode, kCsvUtf8, kCsvUnicodeText}})
    ->Unit(benchmark::kMillisecond);

// range(0): layout; range(1): 0 into an empty document, 1 over the same tags (updating),
// 2 shuffled lines into an empty document.
void BM_ImportCsv(benchmark::State& state) {
    const Layout layout = kLayouts[state.range(0)];
    const auto kind = state.range(1);
    FileMap files;
    files["/tags.csv"] = ExportedText(layout, kCsvUtf8, kind == 2);
    MemoryReader reader(files);
    ExchangeServices services;
    services.reader = &reader;
    std::size_t imported = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto doc = std::make_unique<CDoc>(CDocServices{}, ModelSettings{});
        doc->AddDefaultPorts();
        if (kind == 1) {
            doc->ClearContents();
            BuildPlant(*doc, layout.devices, layout.groups);
        }
        state.ResumeTiming();
        const ImportReport report =
            CsvImporter(*doc, services)
                .Import("/tags.csv", kind == 1 ? ImportMode::Updating : ImportMode::Replacing);
        if (!report.completed || report.importedLines != kTags)
            state.SkipWithError("import incomplete");
        imported = report.importedLines;
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
    state.counters["bytes"] = static_cast<double>(files.at("/tags.csv").size());
    state.counters["tags"] = static_cast<double>(imported);
}
BENCHMARK(BM_ImportCsv)->ArgsProduct({{0, 1}, {0, 1, 2}})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velk

BENCHMARK_MAIN();

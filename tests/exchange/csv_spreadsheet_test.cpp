// Tag lists saved by an independent spreadsheet-like writer (Python's csv module) import
// as the format defines them, in the 8-bit, UTF-8 and UTF-16 tab encodings.
#include <gtest/gtest.h>

#include "exchange/csv_format.h"
#include "exchange/csv_importer.h"
#include "platform/linux/posix_file_reader.h"
#include "tests/exchange/exchange_test_support.h"
#include "tests/support/child_process.h"

namespace velk {
namespace {

using testing::ExchangeFixture;

class SpreadsheetFiles : public ::testing::TestWithParam<std::string> {
  protected:
    static void SetUpTestSuite() {
        directory_ = new testing::TempDirectory();
        written_ =
            testing::RunProgram("/usr/bin/python3", {VELK_SPREADSHEET_WRITER, directory_->Path()},
                                {}, directory_->File("writer.log")) == 0;
    }
    static void TearDownTestSuite() {
        delete directory_;
        directory_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(written_) << testing::ReadFile(directory_->File("writer.log"));
    }
    ImportReport Import(ExchangeFixture& f, const std::string& name) {
        ExchangeServices services = f.Services();
        services.reader = &reader_;
        return CsvImporter(f.document, services)
            .Import(directory_->File(name), ImportMode::Replacing);
    }

    static testing::TempDirectory* directory_;
    static bool written_;
    PosixFileReader reader_;
};

testing::TempDirectory* SpreadsheetFiles::directory_ = nullptr;
bool SpreadsheetFiles::written_ = false;

TEST_P(SpreadsheetFiles, EveryColumnArrives) {
    ExchangeFixture f;
    const ImportReport report = Import(f, GetParam());
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(report.importedLines, 4u);
    EXPECT_EQ(report.badLines, 0u);
    EXPECT_TRUE(f.ui.messages.empty());

    const OModbusTag* level = f.document.FindTag("Boiler.Drum.Level", ".");
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->description, "Niveau Trommel \xC3\xA9");
    EXPECT_EQ(level->dataType, VT_R4);
    EXPECT_EQ(level->size, 2);
    EXPECT_EQ(level->locationKind, kHoldingRegister);
    EXPECT_EQ(level->address, 10);
    EXPECT_EQ(level->accessRights, kAccessReadable | kAccessWritable);
    const auto& scaling = dynamic_cast<const OAnalogData&>(*level->scaling);
    EXPECT_EQ(scaling.conversion, OAnalogData::kLinear);
    EXPECT_EQ(scaling.initValue, 12.5);
    EXPECT_EQ(scaling.rawMaximum, 27648);
    EXPECT_EQ(scaling.engineeringMinimum, -50);
    EXPECT_EQ(scaling.engineeringMaximum, 150);
    EXPECT_EQ(scaling.units, "mm");
    EXPECT_EQ(scaling.lowProcess, -40);
    EXPECT_EQ(scaling.highProcess, 140);
    const auto& alarm = dynamic_cast<const OAnalogAlarm&>(*level->alarm);
    EXPECT_EQ(alarm.enableFlags, OAnalogAlarm::kLowBit | OAnalogAlarm::kHighBit | kNormalEventBit);
    EXPECT_EQ(alarm.acknowledgeFlags, OAnalogAlarm::kLowBit | kNormalEventBit);
    EXPECT_EQ(alarm.levelLimit[OAnalogAlarm::kLow], -20);
    EXPECT_EQ(alarm.levelPriority[OAnalogAlarm::kHigh], 800);
    EXPECT_EQ(alarm.levelText[OAnalogAlarm::kHigh], "high level");
    EXPECT_EQ(alarm.normalText, "back to normal");
    EXPECT_EQ(alarm.area, "Boiler house");
    EXPECT_EQ(alarm.alarmClass, 4);
    EXPECT_EQ(level->simulationKind, kSimulationSine);
    EXPECT_EQ(level->defaultDisplay, "0.0");

    const OModbusTag* flame = f.document.FindTag("Boiler.Burner.Flame", ".");
    ASSERT_NE(flame, nullptr);
    EXPECT_EQ(flame->locationKind, kInputStatus);
    EXPECT_EQ(flame->address, 2);
    EXPECT_EQ(flame->accessRights, kAccessReadable);
    const auto& discrete = dynamic_cast<const OBinaryAlarm&>(*flame->alarm);
    EXPECT_EQ(discrete.enableFlags, OBinaryAlarm::kOnFalse);
    EXPECT_EQ(discrete.acknowledgeFlags, OBinaryAlarm::kOnFalse);
    EXPECT_EQ(discrete.alarmPriority, 900);
    EXPECT_EQ(discrete.alarmText, "flame lost");
    EXPECT_EQ(discrete.source, "Burner 1");
    EXPECT_EQ(flame->simulationKind, kSimulationNone);

    const OModbusTag* ignition = f.document.FindTag("Boiler.Burner.Ignition", ".");
    ASSERT_NE(ignition, nullptr);
    EXPECT_EQ(ignition->locationKind, kOutputCoil);
    EXPECT_EQ(ignition->address, 4);
    EXPECT_EQ(dynamic_cast<const OBinaryData&>(*ignition->scaling).conversion,
              OBinaryData::kInverted);
    EXPECT_EQ(dynamic_cast<const OBinaryData&>(*ignition->scaling).initValue, 1u);

    const OModbusTag* trip = f.document.FindTag("Turbine.Trip", ".");
    ASSERT_NE(trip, nullptr);
    EXPECT_EQ(trip->locationKind, kEventSignal);
    EXPECT_EQ(trip->address, 11);
    EXPECT_EQ(trip->simulationKind, kSimulationRandom);
    EXPECT_EQ(f.document.Devices().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Encodings, SpreadsheetFiles,
                         ::testing::Values("ansi.csv", "utf8.csv", "unicode.txt"));

TEST_F(SpreadsheetFiles, QuotedFieldIsNotUnquotedAndShortRowsAreFilledWithEmptyFields) {
    ExchangeFixture f;
    const ImportReport report = Import(f, "quoted.csv");
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(report.importedLines, 1u);
    EXPECT_EQ(report.badLines, 1u);
    EXPECT_EQ(f.ui.messages, std::vector<std::string>{"Bad lines encountered."});
    EXPECT_EQ(f.document.FindTag("Boiler.Pumps.P1", "."), nullptr);
    const OModbusTag* p2 = f.document.FindTag("Boiler.Pumps.P2", ".");
    ASSERT_NE(p2, nullptr);
    EXPECT_EQ(p2->dataType, VT_UI2);
    EXPECT_EQ(p2->locationKind, kInputRegister);
    EXPECT_EQ(p2->address, 3);
    EXPECT_EQ(p2->accessRights, 0);
    EXPECT_EQ(p2->simulationKind, kSimulationNone);
}

TEST_F(SpreadsheetFiles, FormatIndexFollowsTheFile) {
    ExchangeFixture f;
    f.document.csvFilterIndex = kCsvAnsi;
    Import(f, "utf8.csv");
    EXPECT_EQ(f.document.csvFilterIndex, kCsvUtf8);
    Import(f, "unicode.txt");
    EXPECT_EQ(f.document.csvFilterIndex, kCsvUnicodeText);
    Import(f, "ansi.csv");
    EXPECT_EQ(f.document.csvFilterIndex, kCsvUnicodeText);
}

}  // namespace
}  // namespace velk

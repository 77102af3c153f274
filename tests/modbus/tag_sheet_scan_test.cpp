// The tag sheet applied to a tag of a document while the acquisition reads it: a reader thread
// walks the device's tags and its alarm scan list as the group updates and the event scan do,
// and each applied definition (location, data type, scaling, alarm) is what the next reads
// follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "modbus/scan_engine.h"
#include "model/ae_event_space.h"
#include "model/c_doc.h"
#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "model/tag_sheet/tag_dialog.h"
#include "tests/modbus/scan_fake_exchange.h"
#include "tests/model/model_tree.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"

namespace velk {
namespace {

using namespace velk::testing;

class TagSheetWhileScanning : public ::testing::Test {
  protected:
    TagSheetWhileScanning() : plc(InsertDevice(doc, "PLC1")) {
        auto tag = std::make_unique<OModbusTag>();
        tag->name = "Level";
        tag->locationKind = kHoldingRegister;
        tag->address = 10;
        tag->SetDataType(VT_I2);
        tag->size = 1;
        tag->accessRights = kAccessReadable | kAccessWritable;
        level = tag.get();
        plc.InsertTagByName(tag);
        doc.RegisterTag(plc, level);
    }
    ~TagSheetWhileScanning() override { StopReading(); }

    void StartReading() {
        reader_ = std::thread([this] {
            while (!stop_) {
                TagList alarms;
                TagList all;
                {
                    std::lock_guard<std::recursive_mutex> data(doc.Locks().tagData);
                    alarms = plc.alarmScanList;
                    for (const auto& tag : plc.tagList) InsertSorted(tag.get(), all);
                }
                engine.ReadTags(plc, alarms);
                engine.ReadTags(plc, all);
                ++passes_;
            }
        });
    }
    void StopReading() {
        stop_ = true;
        if (reader_.joinable()) reader_.join();
    }
    // Waits for two whole passes of the reader, so that one began after the caller's change.
    void WaitForFreshPasses() {
        const int from = passes_.load();
        while (passes_.load() < from + 2) std::this_thread::yield();
    }
    // Edits Level through the sheet and applies it as the Properties command does.
    void Edit(const std::function<void(TagDialog&)>& entries) {
        TagDialog sheet(*level, doc.EventSpace());
        entries(sheet);
        ASSERT_FALSE(sheet.Ok());
        std::lock_guard<std::recursive_mutex> tree(doc.Locks().tree);
        sheet.ApplyToTag();
    }

    CDoc doc{CDocServices{}, ModelSettings{}};
    ODevice& plc;
    OModbusTag* level = nullptr;
    ScanFakeExchange exchange;
    RecordingPoster poster;  // posted to under TagDataLock, read after the reader ends
    FakeClock clock;
    ScanEngine engine{exchange, poster, clock};

  private:
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::atomic<int> passes_{0};
};

AnaAlarmPage& AnalogAlarm(TagDialog& sheet) { return dynamic_cast<AnaAlarmPage&>(sheet.Alarm()); }

TEST_F(TagSheetWhileScanning, EveryAppliedDefinitionIsWhatTheNextReadsFollow) {
    exchange.image.holding[10] = 0x0000;  // REAL 50.0, low word first
    exchange.image.holding[11] = 0x4248;
    exchange.image.input[10] = 7;
    StartReading();

    // The tag moves between the register kinds and in and out of the alarm scan list while
    // the reader walks both.
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        const bool input = round % 2 == 0;
        const bool alarmed = round % 3 == 0;
        Edit([&](TagDialog& sheet) {
            sheet.Connection().OnLocationChosen(input ? kInputRegister : kHoldingRegister);
            ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
            AnalogAlarm(sheet).OnLevelToggled(2, alarmed);
            if (alarmed) AnalogAlarm(sheet).levels[2].valueText = "400";
        });
        WaitForFreshPasses();
        std::lock_guard<std::recursive_mutex> data(doc.Locks().tagData);
        EXPECT_EQ(level->value, input ? Variant::Int16(7) : Variant::Int16(0));
        EXPECT_EQ(std::count(plc.alarmScanList.begin(), plc.alarmScanList.end(), level),
                  alarmed ? 1 : 0);
    }

    // The final definition: a REAL holding register, linear 0..100 to 0..1000, High at 400.
    Edit([&](TagDialog& sheet) {
        sheet.Connection().OnLocationChosen(kHoldingRegister);
        sheet.Connection().OnDataTypeChosen(5);
        ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageScaling));
        auto& scaling = dynamic_cast<AnaScalingPage&>(sheet.Scaling());
        scaling.OnConversionChosen(OAnalogData::kLinear);
        scaling.rawMinText = "0";
        scaling.rawMaxText = "100";
        scaling.engMinText = "0";
        scaling.engMaxText = "1000";
        ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
        AnalogAlarm(sheet).OnLevelToggled(2, true);
        AnalogAlarm(sheet).levels[2].valueText = "400";
        AnalogAlarm(sheet).levels[2].priorityText = "700";
    });
    WaitForFreshPasses();
    StopReading();
    EXPECT_EQ(level->dataType, VT_R4);
    EXPECT_EQ(level->size, 2);
    EXPECT_EQ(level->value, Variant::Double(500.0));
    EXPECT_EQ(level->quality, kQualityGood);
    EXPECT_EQ(std::count(plc.alarmScanList.begin(), plc.alarmScanList.end(), level), 1);
    const auto high = std::find_if(poster.events.begin(), poster.events.end(), [&](const auto& e) {
        return e->tag == level && e->code == AeEventSpace::kSubHigh && e->active == 1;
    });
    ASSERT_NE(high, poster.events.end());
    EXPECT_EQ((*high)->valueText, "500");
}

}  // namespace
}  // namespace velk

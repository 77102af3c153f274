// The controller's event-buffer placement, chunking and record layout.
#include <gtest/gtest.h>

#include <vector>

#include "modbus/event_buffer_layout.h"
#include "modbus/event_record.h"

namespace velk {
namespace {

TEST(EventBufferLayoutTest, BaseAndSizeByDeviceTypeAndArea) {
    EXPECT_EQ(EventBufferLocationFor(kDeviceTypeKestrel, 0).base, 0x0C00);
    EXPECT_EQ(EventBufferLocationFor(kDeviceTypeKestrel, 1).base, 0x0E00);
    EXPECT_EQ(EventBufferLocationFor(kDeviceTypeKestrel, 0).size, 248);
    EXPECT_EQ(EventBufferLocationFor(kDeviceTypeTessera, 0).base, 0x0CA0);
    EXPECT_EQ(EventBufferLocationFor(kDeviceTypeTessera, 1).base, 0x0EA0);
    EXPECT_EQ(EventBufferLocationFor(kDeviceTypeTessera, 1).size, 124);

    EXPECT_EQ(EventBufferLocationFor(kDeviceTypeGeneral, 0).base, 3072);
    EXPECT_EQ(EventBufferLocationFor(kDeviceTypeGeneral, 1).base, 3584);
    EXPECT_EQ(EventBufferLocationFor(kDeviceTypeGeneral, 0).size, 248);
    EventBufferSettings settings;
    settings.master1 = 1000;
    settings.master2 = 2000;
    settings.size = 10;
    EXPECT_EQ(EventBufferLocationFor(kDeviceTypeGeneral, 1, settings).base, 2000);
    EXPECT_EQ(EventBufferLocationFor(kDeviceTypeGeneral, 0, settings).size, 40);
}

TEST(EventBufferLayoutTest, ChunksOf124And64Registers) {
    EXPECT_EQ(EventChunkSize(248), 124);
    EXPECT_EQ(EventChunkSize(124), 64);
    EXPECT_EQ(EventChunkSize(40), 20);
    EXPECT_EQ(EventChunkSize(4), 4);
    // A large "General" buffer never asks for more than one read can carry.
    EXPECT_EQ(EventChunkSize(1000), 124);
}

TEST(EventRecordTest, EncodesTimeFieldsInAnswerOrder) {
    EventRecord record;
    record.signal = 0x0102;
    record.state = true;
    record.hour = 14;
    record.minute = 3;
    record.second = 7;
    record.millisecond = 250;
    const auto bytes = EncodeEventRecord(record);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
              (std::vector<std::uint8_t>{0x01, 0x02, 1, 50, 2, 7, 3, 14}));
    const auto registers = EventRecordRegisters(record);
    EXPECT_EQ(registers[0], 0x0102);
    EXPECT_EQ(registers[1], 0x0132);
    EXPECT_EQ(registers[3], 0x030E);
    EXPECT_EQ(DecodeEventRecord(bytes), record);
}

TEST(EventRecordTest, AnyNonZeroStateIsTrue) {
    const std::vector<std::uint8_t> bytes = {0xEE, 0xEE, 0x7F, 99, 9, 59, 59, 23};
    const auto record = DecodeEventRecord(bytes);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->signal, kEventEndMark);
    EXPECT_TRUE(record->state);
    EXPECT_EQ(record->millisecond, 999);
    EXPECT_FALSE(DecodeEventRecord(std::vector<std::uint8_t>(7, 0)));
}

}  // namespace
}  // namespace velk

#include <gtest/gtest.h>

#include <set>

#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "model/o_binary_data.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/object_id.h"
#include "model/tag_list.h"

namespace velk {
namespace {

TEST(NewTag, DefaultsAreOutputCoilBoolReadOnlyRamp) {
    const std::uint32_t before = nextObjectId.load();
    OModbusTag tag(777);
    EXPECT_EQ(tag.id, before + 1);
    EXPECT_EQ(tag.locationKind, kOutputCoil);
    EXPECT_EQ(tag.dataType, VT_BOOL);
    EXPECT_EQ(tag.accessRights, kAccessReadable);
    EXPECT_EQ(tag.simulationKind, kSimulationRamp);
    EXPECT_EQ(tag.quality, kQualityUncertain);
    EXPECT_EQ(tag.timestamp, 777u);
    EXPECT_TRUE(tag.value.IsEmpty());
    EXPECT_EQ(tag.reserved, 1);
    EXPECT_NE(dynamic_cast<OBinaryData*>(tag.scaling.get()), nullptr);
    EXPECT_NE(dynamic_cast<OBinaryAlarm*>(tag.alarm.get()), nullptr);
    EXPECT_FALSE(tag.alarm->IsEnabled());
}

TEST(NewTag, ChangingBoolToRealReplacesScalingAndAlarm) {
    OModbusTag tag;
    tag.scaling->conversion = OBinaryData::kInverted;
    tag.alarm->enableFlags = 2;
    tag.SetDataType(VT_R4);
    auto* scaling = dynamic_cast<OAnalogData*>(tag.scaling.get());
    ASSERT_NE(scaling, nullptr);
    EXPECT_EQ(scaling->conversion, 0);
    EXPECT_DOUBLE_EQ(scaling->rawMaximum, 10000.0);
    ASSERT_NE(dynamic_cast<OAnalogAlarm*>(tag.alarm.get()), nullptr);
    EXPECT_EQ(tag.alarm->enableFlags, 0);
    // Between two numeric types the configured objects stay.
    tag.scaling->conversion = OAnalogData::kLinear;
    tag.SetDataType(VT_I4);
    EXPECT_EQ(tag.scaling->conversion, OAnalogData::kLinear);
}

TEST(TagTexts, AddressesLocationsTypesAndSimulation) {
    OModbusTag tag;
    tag.locationKind = kHoldingRegister;
    EXPECT_EQ(tag.GetAddressText(), "400001");
    tag.address = 65535;
    EXPECT_EQ(tag.GetAddressText(), "465536");
    tag.locationKind = kEventSignal;
    tag.address = 9;
    EXPECT_EQ(tag.GetAddressText(), "E00010");
    tag.locationKind = kInputStatus;
    EXPECT_EQ(tag.GetAddressText(), "100010");
    tag.locationKind = kOutputCoil;
    EXPECT_EQ(tag.GetAddressText(), "000010");
    tag.locationKind = kInputRegister;
    EXPECT_EQ(tag.GetLocationName(), "Input Register");
    tag.locationKind = 9;
    EXPECT_EQ(tag.GetAddressText(), "");
    EXPECT_EQ(tag.GetLocationName(), "");
    tag.dataType = 19;
    EXPECT_EQ(tag.GetTypeName(), "ULONG");
    tag.dataType = 7;
    EXPECT_EQ(tag.GetTypeName(), "???");
    tag.simulationKind = kSimulationRandom;
    EXPECT_EQ(tag.GetSimulationName(), "Random");
    tag.simulationKind = 4;
    EXPECT_EQ(tag.GetSimulationName(), "");
}

TEST(TagLocationRules, LocationDecidesTypeAndAccess) {
    OModbusTag tag;
    tag.locationKind = kHoldingRegister;
    tag.ApplyLocationRules();  // a register location with BOOL becomes INT, writable
    EXPECT_EQ(tag.dataType, VT_I2);
    EXPECT_EQ(tag.accessRights, kAccessReadable | kAccessWritable);
    EXPECT_EQ(tag.size, 1);
    EXPECT_NE(dynamic_cast<OAnalogAlarm*>(tag.alarm.get()), nullptr);
    tag.SetDataType(VT_R4);
    tag.locationKind = kInputRegister;
    tag.ApplyLocationRules();
    EXPECT_EQ(tag.dataType, VT_R4);
    EXPECT_EQ(tag.accessRights, kAccessReadable);
    EXPECT_EQ(tag.size, 2);
    tag.locationKind = kEventSignal;
    tag.ApplyLocationRules();
    EXPECT_EQ(tag.dataType, VT_BOOL);
    EXPECT_EQ(tag.accessRights, kAccessReadable);
    EXPECT_TRUE(tag.IsTypeAllowedAtLocation());
    tag.dataType = VT_R8;
    tag.locationKind = kHoldingRegister;
    EXPECT_FALSE(tag.IsTypeAllowedAtLocation());
}

TEST(TagCopy, CopyRuleKeepsIdentityAndRuntimeLinks) {
    ODevice device;
    OModbusTag source(10);
    source.name = "Level";
    source.description = "tank";
    source.SetDataType(VT_R4);
    source.accessRights = 3;
    source.locationKind = kHoldingRegister;
    source.address = 40;
    source.size = 2;
    source.rampCounter = 17;
    source.defaultDisplay = "gauge";
    source.value = Variant::Double(3.5);
    source.quality = kQualityGood;
    auto* scaling = dynamic_cast<OAnalogData*>(source.scaling.get());
    scaling->conversion = OAnalogData::kLinear;
    scaling->units = "m";
    source.alarm->enableFlags = 4;

    OModbusTag target(20);
    target.device = &device;
    target.opcReferenceCount = 2;
    const std::uint32_t keptId = target.id;
    target.CopyFrom(source);
    EXPECT_EQ(target.id, keptId);
    EXPECT_EQ(target.name, "Level");
    EXPECT_EQ(target.address, 40);
    EXPECT_EQ(target.rampCounter, 17);
    EXPECT_EQ(target.timestamp, 10u);
    EXPECT_EQ(target.value, Variant::Double(3.5));
    EXPECT_EQ(target.quality, kQualityUncertain);  // stays
    EXPECT_EQ(target.device, &device);
    EXPECT_EQ(target.opcReferenceCount, 2);
    ASSERT_NE(target.scaling.get(), source.scaling.get());
    EXPECT_TRUE(target.scaling->IsEqual(*source.scaling));
    EXPECT_TRUE(target.alarm->IsEqualAll(*source.alarm));
}

TEST(TagCopy, DuplicatesGetDistinctNewIds) {
    OModbusTag original;
    original.name = "T";
    std::set<std::uint32_t> ids{original.id};
    for (int i = 0; i < 3; ++i) {
        auto copy = original.Duplicate(0);
        EXPECT_EQ(copy->name, "T");
        ids.insert(copy->id);
    }
    EXPECT_EQ(ids.size(), 4u);
}

TEST(TagListOrder, InsertSortedByKindThenAddressKeepingEqualKeysInOrder) {
    OModbusTag hr5, hr1, coil9, hr5b, ir0;
    hr5.locationKind = hr1.locationKind = hr5b.locationKind = kHoldingRegister;
    hr5.address = hr5b.address = 5;
    hr1.address = 1;
    coil9.locationKind = kOutputCoil;
    coil9.address = 9;
    ir0.locationKind = kInputRegister;
    TagList list;
    for (OModbusTag* t : {&hr5, &hr1, &coil9, &hr5b, &ir0}) InsertSorted(t, list);
    EXPECT_EQ(list, (TagList{&coil9, &ir0, &hr1, &hr5, &hr5b}));
    EXPECT_FALSE(InsertSortedOnce(&hr1, list));
    EXPECT_TRUE(RemoveFromList(&hr5, list));
    EXPECT_FALSE(ListContains(&hr5, list));
}

TEST(DeviceScanLists, FollowTheTagsLocationAndAlarm) {
    ODevice device;
    OModbusTag signal, alarmed, plain;
    signal.locationKind = kEventSignal;
    alarmed.alarm->enableFlags = 1;
    for (OModbusTag* t : {&signal, &alarmed, &plain}) device.UpdateScanLists(t);
    EXPECT_EQ(device.eventSignalScanList, (TagList{&signal}));
    EXPECT_EQ(device.alarmScanList, (TagList{&alarmed}));
    device.UpdateScanLists(&signal);  // never listed twice
    EXPECT_EQ(device.eventSignalScanList.size(), 1u);
    signal.locationKind = kOutputCoil;
    signal.alarm->enableFlags = 2;
    signal.address = 0;
    alarmed.address = 3;
    device.UpdateScanLists(&signal);
    EXPECT_TRUE(device.eventSignalScanList.empty());
    EXPECT_EQ(device.alarmScanList, (TagList{&signal, &alarmed}));
    device.RemoveFromScanLists(&alarmed);
    EXPECT_EQ(device.alarmScanList, (TagList{&signal}));
}

}  // namespace
}  // namespace velk

// What a load makes of the stored fields: defaults of older schemas, the load rules, port
// binding, the document tag list and the scan lists.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "model/c_doc.h"
#include "model/config_file_reader.h"
#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "model/o_binary_data.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/o_port.h"
#include "model/o_tag_group.h"
#include "tests/model/config_file_fixtures.h"

namespace velk {
namespace {

using testing::Fixture;

class ConfigFileLoadTest : public ::testing::Test {
  protected:
    CDoc doc_{CDocServices{}, ModelSettings{}};

    void Load(const std::string& fixture) {
        bytes_ = Fixture(fixture);
        ASSERT_FALSE(bytes_.empty());
        ASSERT_TRUE(ConfigFileReader::ReadDocumentBytes(bytes_, doc_, 12345)) << fixture;
    }
    ODevice& DeviceNamed(const std::string& name) {
        for (ODevice* device : doc_.Devices()) {
            if (device->name == name) return *device;
        }
        ADD_FAILURE() << "no device " << name;
        static ODevice none;
        return none;
    }
    OModbusTag& TagNamed(const std::string& name) {
        for (OModbusTag* tag : doc_.documentTagList) {
            if (tag->name == name) return *tag;
        }
        ADD_FAILURE() << "no tag " << name;
        static OModbusTag none;
        return none;
    }
    std::string bytes_;
};

TEST_F(ConfigFileLoadTest, Schema1DeviceGetsTheLoadRules) {
    Load("schema01.vlk");
    const ODeviceParams& p = DeviceNamed("Device1").params;
    // The file stores COM2 as secondary only from schema 2; schema 1 copies the primary.
    EXPECT_EQ(p.primaryPortName, "COM1");
    EXPECT_EQ(p.secondaryPortName, "COM1");
    EXPECT_EQ(p.supervisorRetries, 1);
    EXPECT_EQ(p.supervisorTime, 1000);
    EXPECT_EQ(p.modbusTcp, 0);
    EXPECT_EQ(p.initiallyReadEventStatus, 1);
    EXPECT_EQ(p.primaryIpAddress, "0.0.0.0");
    EXPECT_EQ(p.secondaryGatewayAddress, "0.0.0.0");
    for (const ODeviceAlarm& alarm : DeviceNamed("Device1").communicationAlarms) {
        EXPECT_EQ(alarm.enableFlags, 0);
        EXPECT_EQ(alarm.failureText, "");
    }
    // Fields of every schema are read.
    EXPECT_EQ(p.slaveAddress, 17);
    EXPECT_EQ(p.timeSync, 0x8000 | 60);
}

TEST_F(ConfigFileLoadTest, Schema2And3KeepTheDefaultRetries) {
    for (const char* name : {"schema02.vlk", "schema03.vlk"}) {
        Load(name);
        const ODeviceParams& p = DeviceNamed("Device1").params;
        EXPECT_EQ(p.secondaryPortName, "COM2") << name;
        EXPECT_EQ(p.supervisorRetries, 5) << name;
        EXPECT_EQ(p.modbusTcp, 0) << name;
    }
    Load("schema03.vlk");
    EXPECT_EQ(DeviceNamed("Device1").params.initiallyReadEventStatus, 0);
    Load("schema02.vlk");
    EXPECT_EQ(DeviceNamed("Device1").params.initiallyReadEventStatus, 1);
}

TEST_F(ConfigFileLoadTest, NewestSchemaKeepsEveryField) {
    Load("schema10.vlk");
    ODevice& d1 = DeviceNamed("Device1");
    EXPECT_EQ(d1.params.supervisorTime, 1000);  // stored as 0
    EXPECT_EQ(d1.params.readEventStatusAfterCommFailure, 1);
    EXPECT_EQ(d1.params.supervisorRetries, 3);
    EXPECT_EQ(d1.activeChannel, 1);
    EXPECT_EQ(d1.simulationEnabled, 1);
    EXPECT_EQ(d1.importMark, 0);
    EXPECT_EQ(d1.communicationAlarms[0].source, "Station A");
    EXPECT_EQ(d1.communicationAlarms[3].failureText, "buffer overrun");
    EXPECT_EQ(d1.communicationAlarms[3].enableFlags, 2);
    const ODevice& d2 = DeviceNamed("Station 2");
    EXPECT_EQ(d2.params.modbusTcp, 1);
    EXPECT_EQ(d2.params.supervisorRetries, -1);
    EXPECT_EQ(d2.params.supervisorTime, 2500);
    EXPECT_EQ(d2.params.secondaryGatewayAddress, "192.168.2.1");

    const OModbusTag& motor = TagNamed("Motor");
    EXPECT_EQ(motor.description, "Pumpe \xE6\xB0\xB4 \xF0\x9F\x98\x80");
    const auto* alarm = dynamic_cast<const OBinaryAlarm*>(motor.alarm.get());
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(alarm->source, "M1");
    EXPECT_EQ(alarm->userCondition, (2u << 16) | 1u);
    EXPECT_EQ(alarm->attributeFlag, 1u);
    EXPECT_EQ(alarm->area, "Drives");
    EXPECT_EQ(alarm->alarmClass, 3);

    const OModbusTag& level = TagNamed("Level");
    const auto* scaling = dynamic_cast<const OAnalogData*>(level.scaling.get());
    ASSERT_NE(scaling, nullptr);
    EXPECT_EQ(scaling->lowProcess, 5.0);
    EXPECT_EQ(scaling->units, "m\xC2\xB3");
    EXPECT_EQ(level.defaultDisplay, "0.00");
    const auto* limits = dynamic_cast<const OAnalogAlarm*>(level.alarm.get());
    ASSERT_NE(limits, nullptr);
    EXPECT_EQ(limits->levelLimit[3], 88.5);
    EXPECT_EQ(limits->levelText[0], "LoLo");

    const auto* nan = dynamic_cast<const OAnalogAlarm*>(TagNamed("NotANumber").alarm.get());
    ASSERT_NE(nan, nullptr);
    EXPECT_TRUE(std::isnan(nan->levelLimit[0]));
    EXPECT_TRUE(std::isinf(nan->levelLimit[1]));
}

TEST_F(ConfigFileLoadTest, OldTagsGetAccessByLocationAndDefaultProcessLimits) {
    Load("schema01.vlk");
    EXPECT_EQ(TagNamed("Setpoint").accessRights, 3);  // holding register
    EXPECT_EQ(TagNamed("Counter").accessRights, 1);   // input register
    EXPECT_EQ(TagNamed("Motor").accessRights, 3);     // output coil
    EXPECT_EQ(TagNamed("Door").accessRights, 1);      // input status
    EXPECT_EQ(TagNamed("Level").defaultDisplay, "");
    const auto* alarm = dynamic_cast<const OBinaryAlarm*>(TagNamed("Motor").alarm.get());
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(alarm->attributeFlag, 0u);
    EXPECT_EQ(alarm->source, "");
    EXPECT_EQ(alarm->area, "");

    Load("schema04.vlk");
    const auto* scaling = dynamic_cast<const OAnalogData*>(TagNamed("Level").scaling.get());
    ASSERT_NE(scaling, nullptr);
    EXPECT_EQ(scaling->lowProcess, 0.0);
    EXPECT_EQ(scaling->highProcess, 100.0);
    EXPECT_EQ(scaling->rawMaximum, 20000.0);
}

TEST_F(ConfigFileLoadTest, EightBitTextsAreLatin1) {
    Load("schema05.vlk");
    EXPECT_EQ(TagNamed("Level").description,
              "F\xC3\xBCllstand \xC2\xB0"
              "C");
    Load("long_texts_8bit.vlk");
    ASSERT_EQ(doc_.portList.size(), 3u);
    EXPECT_EQ(doc_.portList[2]->name, std::string(300, 'R'));
}

TEST_F(ConfigFileLoadTest, PortsBindByExactNameAndTheLastMatchWins) {
    Load("schema10.vlk");
    ASSERT_EQ(doc_.portList.size(), 17u);
    const ODeviceParams& p = DeviceNamed("Device1").params;
    EXPECT_EQ(p.primaryPort, doc_.portList[16].get());  // the second "COM1"
    EXPECT_EQ(p.secondaryPort, doc_.portList[1].get());
    const ODeviceParams& tcp = DeviceNamed("Station 2").params;
    EXPECT_EQ(tcp.primaryPort, nullptr);  // "COM99" matches no port
    EXPECT_EQ(tcp.secondaryPort, doc_.portList[2].get());
    for (const auto& port : doc_.portList) EXPECT_TRUE(port->settingsChanged);
    EXPECT_EQ(doc_.portList[3]->enabled, 0);
    EXPECT_EQ(doc_.portList[1]->baudRate, 9600u);
}

TEST_F(ConfigFileLoadTest, TreeLinksTagListAndScanListsFollowTheFile) {
    Load("schema10.vlk");
    EXPECT_EQ(doc_.nextDeviceNumber, 4);
    std::vector<std::string> order;
    for (const OModbusTag* tag : doc_.documentTagList) order.push_back(tag->name);
    const std::vector<std::string> expected = {"Level",   "Motor",    "Door", "Trip",
                                               "Counter", "Setpoint", "Word", "Signed",
                                               "Name",    "Big",      "Odd",  "NotANumber"};
    EXPECT_EQ(order, expected);

    ODevice& d1 = DeviceNamed("Device1");
    EXPECT_EQ(d1.parent, &doc_.rootGroup);
    ASSERT_EQ(d1.subgroupList.size(), 2u);
    OTagGroup& g1 = *d1.subgroupList[0];
    EXPECT_EQ(g1.parent, &d1);
    ASSERT_EQ(g1.subgroupList.size(), 1u);
    EXPECT_EQ(g1.subgroupList[0]->parent, &g1);
    const OModbusTag& word = TagNamed("Word");
    EXPECT_EQ(word.group, g1.subgroupList[0].get());
    EXPECT_EQ(word.device, &d1);
    EXPECT_EQ(TagNamed("Level").group, &d1);

    ASSERT_EQ(d1.eventSignalScanList.size(), 1u);
    EXPECT_EQ(d1.eventSignalScanList[0]->name, "Trip");
    // Location kind, then address: Door (0), Motor (1), Level (3), Trip (4).
    std::vector<std::string> alarms;
    for (const OModbusTag* tag : d1.alarmScanList) alarms.push_back(tag->name);
    EXPECT_EQ(alarms, (std::vector<std::string>{"Door", "Motor", "Level", "Trip"}));
    EXPECT_TRUE(DeviceNamed("Station 2").alarmScanList.empty());

    // New ids, all distinct; the creation time stamps the tags.
    std::set<std::uint32_t> ids;
    for (const OModbusTag* tag : doc_.documentTagList) {
        ids.insert(tag->id);
        EXPECT_EQ(tag->timestamp, 12345u);
        EXPECT_EQ(tag->quality, kQualityUncertain);
    }
    for (ODevice* device : doc_.Devices()) {
        for (const ODeviceAlarm& alarm : device->communicationAlarms) ids.insert(alarm.id);
    }
    EXPECT_EQ(ids.size(), doc_.documentTagList.size() + 4 * doc_.Devices().size());
    EXPECT_EQ(ids.count(0), 0u);
}

TEST_F(ConfigFileLoadTest, TypesOutsideBoolGetAnalogObjects) {
    Load("schema10.vlk");
    const OModbusTag& odd = TagNamed("Odd");
    EXPECT_EQ(odd.dataType, 77);
    EXPECT_EQ(odd.locationKind, 9);
    EXPECT_NE(dynamic_cast<const OAnalogData*>(odd.scaling.get()), nullptr);
    EXPECT_NE(dynamic_cast<const OAnalogAlarm*>(odd.alarm.get()), nullptr);
    EXPECT_NE(dynamic_cast<const OBinaryData*>(TagNamed("Trip").scaling.get()), nullptr);
    EXPECT_EQ(TagNamed("Door").address, 65535);
}

TEST_F(ConfigFileLoadTest, ZeroByteFileIsAnEmptyConfiguration) {
    doc_.AddDefaultPorts();
    doc_.rootGroup.name = "Previous";
    ASSERT_TRUE(ConfigFileReader::ReadDocumentBytes("", doc_));
    EXPECT_TRUE(doc_.portList.empty());
    EXPECT_TRUE(doc_.rootGroup.subgroupList.empty());
    EXPECT_EQ(doc_.nextDeviceNumber, 1);
    EXPECT_EQ(doc_.rootGroup.name, "Group");
}

TEST_F(ConfigFileLoadTest, DeepNestingIsRefused) {
    // A well-formed file whose groups nest far too deep.
    const std::string deep = Fixture("damaged/deep_nesting.vlk");
    EXPECT_FALSE(ConfigFileReader::ReadDocumentBytes(deep, doc_));
    EXPECT_TRUE(doc_.Devices().empty());
}

}  // namespace
}  // namespace velk

// Class records, class references, object numbering and hostile lead values.
#include <gtest/gtest.h>

#include <string>

#include "model/object_archive.h"
#include "tests/model/archive_bytes.h"

namespace velk {
namespace {

using testing::Bytes;
using testing::Hex;

// 0xFFFF, schema, name length, name.
std::string FullRecord(const std::string& name, int schema) {
    return Bytes({0xFF, 0xFF, schema & 0xFF, schema >> 8, static_cast<int>(name.size()), 0}) + name;
}

TEST(ArchiveClassesTest, FirstUseWritesTheFullRecordThenReferences) {
    ObjectArchive ar;
    ar.PutClass("CDoc", 4);          // number 1
    ar.PutObjectClass("OPort", 10);  // class 2, object 3
    ar.PutObjectClass("OPort", 10);  // object 4
    ar.PutClass("CDoc", 4);
    EXPECT_EQ(Hex(ar.Bytes()),
              "FF FF 04 00 04 00 43 44 6F 63 "
              "FF FF 0A 00 05 00 4F 50 6F 72 74 "
              "02 80 01 80");
}

TEST(ArchiveClassesTest, NumbersAreSharedByClassesAndObjectsAsInASavedFile) {
    // 16 ports, one device with two BOOL tags: the worked numbering of a saved file.
    ObjectArchive ar;
    ar.PutClass("CDoc", 4);
    for (int i = 0; i < 16; ++i) ar.PutObjectClass("OPort", 10);
    ar.PutClass("OTagGroup", 10);
    ar.PutObjectClass("ODevice", 10);
    ar.PutClass("ODeviceParams", 10);
    ar.PutClass("ODeviceAlarm", 10);
    const std::size_t groupPart = ar.Bytes().size();
    ar.PutClass("OTagGroup", 10);
    EXPECT_EQ(Hex(ar.Bytes().substr(groupPart)), "13 80");
    for (int tag = 0; tag < 2; ++tag) {
        const std::size_t start = ar.Bytes().size();
        ar.PutObjectClass("OModbusTag", 10);
        ar.PutClass("OTag", 10);
        ar.PutClass("OBinaryData", 10);
        ar.PutClass("OBinaryAlarm", 10);
        ar.PutClass("OTagAlarm", 10);
        if (tag == 1) {
            EXPECT_EQ(Hex(ar.Bytes().substr(start)), "18 80 1A 80 1B 80 1C 80 1D 80");
        }
    }
    // The next class introduced takes number 31; check it through a reader.
    ar.PutClass("OAnalogData", 10);
    ar.PutClass("OAnalogData", 10);
    EXPECT_EQ(Hex(ar.Bytes().substr(ar.Bytes().size() - 2)), "1F 80");

    ObjectArchive in(ar.Bytes());
    std::uint16_t schema = 0;
    ASSERT_TRUE(in.GetClass("CDoc", schema));
    EXPECT_EQ(schema, 4);
    for (int i = 0; i < 16; ++i) ASSERT_TRUE(in.GetObjectClass("OPort", schema));
    ASSERT_TRUE(in.GetClass("OTagGroup", schema));
    ASSERT_TRUE(in.GetObjectClass("ODevice", schema));
    ASSERT_TRUE(in.GetClass("ODeviceParams", schema));
    ASSERT_TRUE(in.GetClass("ODeviceAlarm", schema));
    ASSERT_TRUE(in.GetClass("OTagGroup", schema));
    for (int tag = 0; tag < 2; ++tag) {
        ASSERT_TRUE(in.GetObjectClass("OModbusTag", schema));
        ASSERT_TRUE(in.GetClass("OTag", schema));
        ASSERT_TRUE(in.GetClass("OBinaryData", schema));
        ASSERT_TRUE(in.GetClass("OBinaryAlarm", schema));
        ASSERT_TRUE(in.GetClass("OTagAlarm", schema));
    }
    ASSERT_TRUE(in.GetClass("OAnalogData", schema));
    ASSERT_TRUE(in.GetClass("OAnalogData", schema));
    EXPECT_EQ(schema, 10);
    EXPECT_EQ(in.Remaining(), 0u);
}

TEST(ArchiveClassesTest, ClassesIntroducedAfterNumber0x7FFEUseTheLongReference) {
    ObjectArchive ar;
    ar.PutClass("OTagGroup", 10);  // 1
    for (int i = 0; i < 0x7FFE; ++i) ar.PutObjectClass("OTagGroup", 10);
    // Numbers 2 to 0x7FFF are taken; this class becomes 0x8000.
    ar.PutClass("OAnalogData", 5);
    const std::size_t start = ar.Bytes().size();
    ar.PutClass("OAnalogData", 5);
    EXPECT_EQ(Hex(ar.Bytes().substr(start)), "FF 7F 00 80 00 80");

    ObjectArchive in(ar.Bytes());
    std::uint16_t schema = 0;
    ASSERT_TRUE(in.GetClass("OTagGroup", schema));
    for (int i = 0; i < 0x7FFE; ++i) ASSERT_TRUE(in.GetObjectClass("OTagGroup", schema));
    ASSERT_TRUE(in.GetClass("OAnalogData", schema));
    schema = 0;
    ASSERT_TRUE(in.GetClass("OAnalogData", schema));
    EXPECT_EQ(schema, 5);
}

TEST(ArchiveClassesTest, Number0x7FFEIsTheLastShortReference) {
    // 0x8000 + 0x7FFF would read as a full class record.
    for (const std::uint32_t number : {0x7FFEu, 0x7FFFu}) {
        ObjectArchive ar;
        ar.PutClass("OTagGroup", 10);  // 1
        for (std::uint32_t i = 2; i < number; ++i) ar.PutObjectClass("OTagGroup", 10);
        ar.PutClass("OTag", 3);  // takes `number`
        const std::size_t start = ar.Bytes().size();
        ar.PutClass("OTag", 3);
        if (number == 0x7FFE) {
            EXPECT_EQ(Hex(ar.Bytes().substr(start)), "FE FF");
        } else {
            EXPECT_EQ(Hex(ar.Bytes().substr(start)), "FF 7F FF 7F 00 80");
        }
        ObjectArchive in(ar.Bytes());
        std::uint16_t schema = 0;
        ASSERT_TRUE(in.GetClass("OTagGroup", schema));
        for (std::uint32_t i = 2; i < number; ++i)
            ASSERT_TRUE(in.GetObjectClass("OTagGroup", schema));
        ASSERT_TRUE(in.GetClass("OTag", schema));
        schema = 0;
        ASSERT_TRUE(in.GetClass("OTag", schema)) << number;
        EXPECT_EQ(schema, 3);
    }
}

TEST(ArchiveClassesTest, ReferencesCarryTheSchemaOfTheFullRecord) {
    const std::string bytes = FullRecord("OTag", 3) + Bytes({0x01, 0x80});
    ObjectArchive in(bytes);
    std::uint16_t schema = 0;
    ASSERT_TRUE(in.GetClass("OTag", schema));
    EXPECT_EQ(schema, 3);
    schema = 0;
    ASSERT_TRUE(in.GetClass("OTag", schema));
    EXPECT_EQ(schema, 3);
}

TEST(ArchiveClassesTest, ShortReferenceToAnotherClassIsRefused) {
    const std::string bytes =
        FullRecord("OTag", 10) + FullRecord("OBinaryData", 10) + Bytes({0x01, 0x80});
    ObjectArchive in(bytes);
    std::uint16_t schema = 0;
    ASSERT_TRUE(in.GetClass("OTag", schema));
    ASSERT_TRUE(in.GetClass("OBinaryData", schema));
    EXPECT_FALSE(in.GetClass("OBinaryData", schema));
    EXPECT_TRUE(in.Failed());
}

TEST(ArchiveClassesTest, MalformedLeadsAreRefused) {
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"null where a class mark is expected", Bytes({0x00, 0x00})},
        {"short back-reference", FullRecord("OPort", 10) + Bytes({0x02, 0x00})},
        {"long back-reference", FullRecord("OPort", 10) + Bytes({0xFF, 0x7F, 0x02, 0, 0, 0})},
        {"reference to a number no class has", Bytes({0x05, 0x80})},
        {"reference to an object's number", FullRecord("OPort", 10) + Bytes({0x02, 0x80})},
        {"long reference to an unknown number", Bytes({0xFF, 0x7F, 0x09, 0, 0, 0x80})},
        {"other class name", FullRecord("OPorts", 10)},
        {"name case differs", FullRecord("oport", 10)},
        {"class name of 64 characters", Bytes({0xFF, 0xFF, 10, 0, 64, 0}) + std::string(64, 'O')},
        {"name longer than the data", Bytes({0xFF, 0xFF, 10, 0, 5, 0, 'O', 'P'})},
        {"class introduced twice", FullRecord("OPort", 10) + FullRecord("OPort", 10)},
        {"truncated lead", Bytes({0xFF})},
        {"truncated long reference", Bytes({0xFF, 0x7F, 0x01})},
    };
    for (const Case& c : cases) {
        ObjectArchive in(c.bytes);
        std::uint16_t schema = 0;
        bool ok = true;
        while (ok && in.Remaining() > 0) ok = in.GetObjectClass("OPort", schema);
        EXPECT_FALSE(ok) << c.what;
        EXPECT_TRUE(in.Failed()) << c.what;
    }
}

TEST(ArchiveClassesTest, ObjectsTakeNumbersThatClassReferencesMustSkip) {
    // Class 1, object 2, class 3: a reference to 3 is fine, one to 2 is not.
    const std::string good = FullRecord("OPort", 10) + FullRecord("OTag", 7) + Bytes({0x03, 0x80});
    ObjectArchive in(good);
    std::uint16_t schema = 0;
    ASSERT_TRUE(in.GetObjectClass("OPort", schema));
    ASSERT_TRUE(in.GetClass("OTag", schema));
    ASSERT_TRUE(in.GetClass("OTag", schema));
    EXPECT_EQ(schema, 7);

    const std::string bad = FullRecord("OPort", 10) + FullRecord("OTag", 7) + Bytes({0x02, 0x80});
    ObjectArchive badIn(bad);
    ASSERT_TRUE(badIn.GetObjectClass("OPort", schema));
    ASSERT_TRUE(badIn.GetClass("OTag", schema));
    EXPECT_FALSE(badIn.GetObjectClass("OTag", schema));
}

TEST(ArchiveClassesTest, ClassNameOf63CharactersIsAccepted) {
    const std::string name(63, 'C');
    const std::string inBytes = FullRecord(name, 1);
    ObjectArchive in(inBytes);
    std::uint16_t schema = 0;
    EXPECT_TRUE(in.GetClass(name, schema));
    EXPECT_EQ(schema, 1);
}

}  // namespace
}  // namespace velk

// Saving: the newest layout byte for byte, the class numbering, large lists, the tag
// clipboard stream, safe replacement of the previous file and the user's messages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/c_doc.h"
#include "model/config_file_reader.h"
#include "model/config_file_storage.h"
#include "model/config_file_writer.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/o_port.h"
#include "model/o_tag_group.h"
#include "platform/linux/posix_document_file_access.h"
#include "tests/model/archive_bytes.h"
#include "tests/model/config_file_memory_access.h"

namespace velk {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

ODevice& AddDevice(CDoc& doc, const std::string& name) {
    auto device = std::make_unique<ODevice>();
    device->name = name;
    device->parent = &doc.rootGroup;
    // A stored 0 loads as 1000; start from what a load gives so that round trips compare.
    device->params.supervisorTime = 1000;
    ODevice& ref = *device;
    doc.rootGroup.subgroupList.push_back(std::move(device));
    return ref;
}

OModbusTag& AddTag(CDoc& doc, OTagGroup& group, const std::string& name, std::uint16_t type) {
    auto tag = std::make_unique<OModbusTag>();
    tag->name = name;
    tag->SetDataType(type);
    OModbusTag& ref = *tag;
    group.tagList.push_back(std::move(tag));
    doc.RegisterTag(group, &ref);
    return ref;
}

class ConfigFileSaveTest : public ::testing::Test {
  protected:
    CDoc doc_{CDocServices{}, ModelSettings{}};
    testing::MemoryDocumentFileAccess files_;
    ConfigFileStorage storage_{files_};
    std::string message_;
};

TEST_F(ConfigFileSaveTest, NewConfigurationIs558BytesAsTheIndependentWriterGives) {
    doc_.AddDefaultPorts();
    ASSERT_TRUE(storage_.Save(doc_, "new.vlk", message_)) << message_;
    const std::string saved = files_.files["new.vlk"];
    ASSERT_EQ(saved.size(), 558u);
    const std::string head =
        Bytes({0xFF, 0xFF, 0x04, 0x00, 0x04, 0x00, 'C',  'D',  'o',  'c',  0x01, 0x00, 0x10, 0x00,
               0xFF, 0xFF, 0x0A, 0x00, 0x05, 0x00, 'O',  'P',  'o',  'r',  't',  0xFF, 0xFE, 0xFF,
               0x04, 'C',  0,    'O',  0,    'M',  0,    '1',  0,    1,    0,    0,    0,    0x00,
               0xE1, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x80, 0xFF,
               0xFE, 0xFF, 0x04, 'C',  0,    'O',  0,    'M',  0,    '2',  0});
    EXPECT_EQ(saved.substr(0, head.size()), head);
    EXPECT_TRUE(saved == ReadFile(fs::path(VELK_FIXTURE_DIR) / "new.expected.vlk"));

    // Saving again gives the same bytes: the file holds no time stamps or ids.
    ASSERT_TRUE(storage_.Save(doc_, "again.vlk", message_));
    EXPECT_TRUE(files_.files["again.vlk"] == saved);
}

TEST_F(ConfigFileSaveTest, ClassNumbersFollowTheWorkedExample) {
    doc_.AddDefaultPorts();
    ODevice& device = AddDevice(doc_, "Device1");
    AddTag(doc_, device, "Tag1", 11);
    AddTag(doc_, device, "Tag2", 11);
    const std::string saved = ConfigFileWriter::DocumentBytes(doc_);

    // The device's group part refers to "OTagGroup" (19) right after the alarm records.
    const std::size_t alarms = saved.find("ODeviceAlarm");
    ASSERT_NE(alarms, std::string::npos);
    const std::size_t groupPart = saved.find(Bytes({0x13, 0x80}), alarms);
    ASSERT_NE(groupPart, std::string::npos);
    EXPECT_EQ(saved.substr(groupPart + 2, 4), Bytes({0xFF, 0xFE, 0xFF, 0x07}));  // "Device1"
    // The second tag: class reference 24, then its parts 26 to 29.
    const std::size_t second = saved.find(Bytes({0x18, 0x80}), groupPart);
    ASSERT_NE(second, std::string::npos);
    std::size_t at = second;
    for (int number : {0x1A, 0x1B, 0x1C, 0x1D}) {
        at = saved.find(Bytes({number, 0x80}), at);
        ASSERT_NE(at, std::string::npos) << number;
    }
    // Ports 2 to 16 begin with the class reference 0x8002.
    std::size_t references = 0;
    for (std::size_t pos = 0;
         (pos = saved.find(Bytes({0x02, 0x80, 0xFF, 0xFE}), pos)) != std::string::npos; ++pos) {
        ++references;
    }
    EXPECT_EQ(references, 15u);
}

TEST_F(ConfigFileSaveTest, LargeListsUseLongCountsAndLongClassReferences) {
    ODevice& device = AddDevice(doc_, "Big");
    for (int i = 0; i < 70000; ++i) AddTag(doc_, device, "T" + std::to_string(i), 11);
    // Introduced after more than 0x7FFF numbers: referred to with the long form.
    AddTag(doc_, device, "Real1", 4);
    AddTag(doc_, device, "Real2", 4);
    const std::string saved = ConfigFileWriter::DocumentBytes(doc_);
    EXPECT_NE(saved.find(Bytes({0xFF, 0xFF, 0x72, 0x11, 0x01, 0x00})), std::string::npos)
        << "count 70002 in the 32-bit form";
    const std::size_t analog = saved.find("OAnalogData");
    ASSERT_NE(analog, std::string::npos);
    EXPECT_NE(saved.find(Bytes({0xFF, 0x7F}), analog), std::string::npos);

    CDoc back{CDocServices{}, ModelSettings{}};
    ASSERT_TRUE(ConfigFileReader::ReadDocumentBytes(saved, back));
    ASSERT_EQ(back.documentTagList.size(), 70002u);
    EXPECT_EQ(back.documentTagList.back()->name, "Real2");
    EXPECT_NE(dynamic_cast<OAnalogData*>(back.documentTagList.back()->scaling.get()), nullptr);
    EXPECT_TRUE(ConfigFileWriter::DocumentBytes(back) == saved);
}

TEST_F(ConfigFileSaveTest, NestedGroupsRoundTrip) {
    ODevice& device = AddDevice(doc_, "D");
    OTagGroup* parent = &device;
    for (int depth = 0; depth < 50; ++depth) {
        auto group = std::make_unique<OTagGroup>();
        group->name = "G" + std::to_string(depth);
        group->parent = parent;
        OTagGroup* next = group.get();
        parent->subgroupList.push_back(std::move(group));
        AddTag(doc_, *next, "T", depth % 2 == 0 ? 11 : 3);
        parent = next;
    }
    const std::string saved = ConfigFileWriter::DocumentBytes(doc_);
    CDoc back{CDocServices{}, ModelSettings{}};
    ASSERT_TRUE(ConfigFileReader::ReadDocumentBytes(saved, back));
    EXPECT_EQ(back.documentTagList.size(), 50u);
    EXPECT_EQ(back.documentTagList.back()->group->name, "G49");
    EXPECT_TRUE(ConfigFileWriter::DocumentBytes(back) == saved);
}

TEST_F(ConfigFileSaveTest, ScanListsAreInLocationOrderWithEqualKeysInTreeOrder) {
    ODevice& device = AddDevice(doc_, "D");
    auto group = std::make_unique<OTagGroup>();
    group->name = "G";
    group->parent = &device;
    OTagGroup& inner = *group;
    device.subgroupList.push_back(std::move(group));
    const struct {
        OTagGroup* owner;
        const char* name;
        std::int32_t kind;
        std::uint16_t address;
    } tags[] = {{&device, "E5", kEventSignal, 5},   {&device, "H9", kHoldingRegister, 9},
                {&device, "C3", kOutputCoil, 3},    {&inner, "H9bis", kHoldingRegister, 9},
                {&inner, "E5bis", kEventSignal, 5}, {&inner, "C1", kOutputCoil, 1},
                {&device, "Off", kOutputCoil, 0}};
    for (const auto& t : tags) {
        OModbusTag& tag = AddTag(doc_, *t.owner, t.name, t.kind == kHoldingRegister ? 3 : 11);
        tag.locationKind = t.kind;
        tag.address = t.address;
        tag.alarm->enableFlags = std::string(t.name) == "Off" ? 0 : 1;
    }
    CDoc back{CDocServices{}, ModelSettings{}};
    const std::string saved = ConfigFileWriter::DocumentBytes(doc_);
    ASSERT_TRUE(ConfigFileReader::ReadDocumentBytes(saved, back));
    ODevice& loaded = *back.Devices().at(0);
    std::vector<std::string> alarms;
    for (const OModbusTag* tag : loaded.alarmScanList) alarms.push_back(tag->name);
    EXPECT_EQ(alarms, (std::vector<std::string>{"C1", "C3", "H9", "H9bis", "E5", "E5bis"}));
    std::vector<std::string> events;
    for (const OModbusTag* tag : loaded.eventSignalScanList) events.push_back(tag->name);
    EXPECT_EQ(events, (std::vector<std::string>{"E5", "E5bis"}));
}

TEST_F(ConfigFileSaveTest, SavingClearsTheImportMarks) {
    ODevice& device = AddDevice(doc_, "Imported");
    device.importMark = 1;
    ASSERT_TRUE(storage_.Save(doc_, "out.vlk", message_));
    EXPECT_EQ(device.importMark, 0);
}

TEST_F(ConfigFileSaveTest, TagListStreamKeepsOrderAndFieldsWithNewIds) {
    ODevice& device = AddDevice(doc_, "D");
    OModbusTag& first = AddTag(doc_, device, "Zeta", 4);
    first.locationKind = kHoldingRegister;
    first.address = 7;
    first.size = 2;
    first.description = "first";
    static_cast<OAnalogData&>(*first.scaling).units = "bar";
    OModbusTag& second = AddTag(doc_, device, "Alpha", 11);
    static_cast<OBinaryAlarm&>(*second.alarm).alarmText = "on";
    second.alarm->enableFlags = 2;

    const std::string stream = ConfigFileWriter::TagListBytes({&first, &second});
    std::vector<std::unique_ptr<OModbusTag>> pasted;
    ASSERT_TRUE(ConfigFileReader::ReadTagListBytes(stream, pasted));
    ASSERT_EQ(pasted.size(), 2u);
    EXPECT_EQ(pasted[0]->name, "Zeta");
    EXPECT_EQ(pasted[1]->name, "Alpha");
    EXPECT_EQ(pasted[0]->address, 7);
    EXPECT_EQ(pasted[0]->description, "first");
    EXPECT_EQ(static_cast<OAnalogData&>(*pasted[0]->scaling).units, "bar");
    EXPECT_EQ(static_cast<OBinaryAlarm&>(*pasted[1]->alarm).alarmText, "on");
    EXPECT_NE(pasted[0]->id, first.id);
    EXPECT_NE(pasted[1]->id, second.id);
    EXPECT_NE(pasted[0]->id, pasted[1]->id);
    EXPECT_EQ(pasted[0]->group, nullptr);
    EXPECT_EQ(pasted[0]->device, nullptr);
    // The stream has its own numbering from 1: the first class is number 1.
    EXPECT_EQ(stream.substr(0, 4), Bytes({0x02, 0x00, 0xFF, 0xFF}));
    EXPECT_TRUE(ConfigFileWriter::TagListBytes({pasted[0].get(), pasted[1].get()}) == stream);
}

TEST_F(ConfigFileSaveTest, AFailedSaveKeepsThePreviousFile) {
    files_.files["doc.vlk"] = "previous";
    doc_.AddDefaultPorts();

    files_.replaceError = FileError::kAccessDenied;
    EXPECT_FALSE(storage_.Save(doc_, "doc.vlk", message_));
    EXPECT_EQ(message_, "Access to doc.vlk was denied.");
    EXPECT_EQ(files_.files["doc.vlk"], "previous");
    EXPECT_EQ(files_.files.size(), 1u) << "temporary file left behind";

    files_.replaceError = FileError::kNone;
    files_.writeError = FileError::kDiskFull;
    EXPECT_FALSE(storage_.Save(doc_, "doc.vlk", message_));
    EXPECT_EQ(message_, "Disk full while accessing doc.vlk.");
    EXPECT_EQ(files_.files["doc.vlk"], "previous");
    EXPECT_EQ(files_.files.size(), 1u);

    files_.writeError = FileError::kNone;
    ASSERT_TRUE(storage_.Save(doc_, "doc.vlk", message_));
    EXPECT_EQ(files_.files["doc.vlk"].size(), 558u);
    EXPECT_EQ(files_.files.size(), 1u);
}

TEST_F(ConfigFileSaveTest, SomeoneElsesFileAtTheTemporaryNameIsLeftAlone) {
    doc_.AddDefaultPorts();
    files_.files["doc.vlk.~save0"] = "not ours";
    ASSERT_TRUE(storage_.Save(doc_, "doc.vlk", message_)) << message_;
    EXPECT_EQ(files_.files["doc.vlk.~save0"], "not ours");
    EXPECT_EQ(files_.files["doc.vlk"].size(), 558u);
    EXPECT_EQ(files_.files.size(), 2u);
}

TEST_F(ConfigFileSaveTest, TemporariesOfKilledSavesGoAtTheNextSave) {
    doc_.AddDefaultPorts();
    ASSERT_TRUE(storage_.Save(doc_, "doc.vlk", message_)) << message_;
    const std::string saved = files_.files["doc.vlk"];
    // Killed before the first byte, early, and late in the write; someone else's file; and
    // a save of ours that is writing now.
    files_.files["doc.vlk.~save0"] = "";
    files_.files["doc.vlk.~save1"] = saved.substr(0, 4);
    files_.files["doc.vlk.~save7"] = saved.substr(0, saved.size() - 9);
    files_.files["doc.vlk.~save2"] = "not ours";
    files_.files["doc.vlk.~save3"] = saved.substr(0, 100);
    files_.inUse.insert("doc.vlk.~save3");
    ASSERT_TRUE(storage_.Save(doc_, "doc.vlk", message_)) << message_;
    std::vector<std::string> left;
    for (const auto& [name, bytes] : files_.files) left.push_back(name);
    EXPECT_EQ(left, (std::vector<std::string>{"doc.vlk", "doc.vlk.~save2", "doc.vlk.~save3"}));
    EXPECT_EQ(files_.files["doc.vlk"], saved);
}

TEST_F(ConfigFileSaveTest, FailedLoadsReportTheCauseAndResetAsNew) {
    ODevice& device = AddDevice(doc_, "Old");
    AddTag(doc_, device, "T", 11);
    EXPECT_FALSE(storage_.Load(doc_, "/x/missing.vlk", message_));
    EXPECT_EQ(message_, "/x/missing.vlk was not found.");
    EXPECT_EQ(doc_.portList.size(), 16u);
    EXPECT_TRUE(doc_.Devices().empty());
    EXPECT_TRUE(doc_.documentTagList.empty());

    const struct {
        FileError error;
        const char* text;
    } cases[] = {
        {FileError::kBadPath, "p contains an incorrect path."},
        {FileError::kTooManyOpenFiles, "Could not open p because there are too many open files."},
        {FileError::kSharingViolation, "Encountered a sharing violation while accessing p."},
        {FileError::kLockingViolation, "Encountered a locking violation while accessing p."},
        {FileError::kHardwareIo, "Encountered a hardware I/O error while accessing p."},
        {FileError::kOther, "An unknown error occurred while accessing p."},
    };
    for (const auto& c : cases) {
        files_.readError = c.error;
        EXPECT_FALSE(storage_.Load(doc_, "p", message_));
        EXPECT_EQ(message_, c.text);
    }
}

TEST_F(ConfigFileSaveTest, FailuresBeyondTheFileGiveTheGeneralMessages) {
    AddDevice(doc_, "Old");
    files_.files["doc.vlk"] = "previous";
    files_.throwBadAlloc = true;
    EXPECT_FALSE(storage_.Load(doc_, "doc.vlk", message_));
    EXPECT_EQ(message_, "Failed to open document.");
    EXPECT_EQ(doc_.portList.size(), 16u);
    EXPECT_TRUE(doc_.Devices().empty());

    EXPECT_FALSE(storage_.Save(doc_, "doc.vlk", message_));
    EXPECT_EQ(message_, "Failed to save document.");
    EXPECT_EQ(files_.files["doc.vlk"], "previous");
}

class PosixConfigFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velk_config_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    PosixDocumentFileAccess files_;
    ConfigFileStorage storage_{files_};
    CDoc doc_{CDocServices{}, ModelSettings{}};
    std::string message_;
};

TEST_F(PosixConfigFileTest, SaveReplacesTheFileAndLoadsBack) {
    const std::string path = (dir_ / "plant.vlk").string();
    { std::ofstream(path) << "an older file"; }
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    doc_.AddDefaultPorts();
    AddDevice(doc_, "Device1");
    ASSERT_TRUE(storage_.Save(doc_, path, message_)) << message_;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 1);
    EXPECT_EQ(fs::status(path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    CDoc back{CDocServices{}, ModelSettings{}};
    ASSERT_TRUE(storage_.Load(back, path, message_)) << message_;
    ASSERT_EQ(back.Devices().size(), 1u);
    EXPECT_EQ(back.Devices()[0]->name, "Device1");
    EXPECT_EQ(ReadFile(path), ConfigFileWriter::DocumentBytes(back));
}

TEST_F(PosixConfigFileTest, OnlyAnOldUnlockedTemporaryOfOursGoesAtTheNextSave) {
    const std::string path = (dir_ / "plant.vlk").string();
    doc_.AddDefaultPorts();
    const std::string head = ConfigFileWriter::DocumentBytes(doc_).substr(0, 40);
    const auto leave = [&](int n, const std::string& bytes, bool old) {
        const std::string name = path + ".~save" + std::to_string(n);
        { std::ofstream(name, std::ios::binary) << bytes; }
        if (old) fs::last_write_time(name, fs::last_write_time(name) - std::chrono::hours(1));
        return name;
    };
    const std::string killed = leave(0, head, true);
    const std::string fresh = leave(1, head, false);  // may be a save writing now
    const std::string foreign = leave(2, "not ours", true);
    const std::string locked = leave(3, head, true);
    const int lock = ::open(locked.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    ASSERT_TRUE(storage_.Save(doc_, path, message_)) << message_;
    ::close(lock);
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_TRUE(fs::exists(foreign));
    EXPECT_TRUE(fs::exists(locked));
}

TEST_F(PosixConfigFileTest, ANewFileIs0644WhateverTheUmask) {
    const std::string path = (dir_ / "plant.vlk").string();
    doc_.AddDefaultPorts();
    const mode_t previous = ::umask(0);
    const bool saved = storage_.Save(doc_, path, message_);
    ::umask(previous);
    ASSERT_TRUE(saved) << message_;
    EXPECT_EQ(fs::status(path).permissions(), static_cast<fs::perms>(0644));
}

TEST_F(PosixConfigFileTest, SavingThroughALinkReplacesTheLinkedFile) {
    fs::create_directory(dir_ / "real");
    const fs::path target = dir_ / "real" / "plant.vlk";
    { std::ofstream(target) << "an older file"; }
    const fs::path link = dir_ / "current.vlk";
    fs::create_symlink(target, link);
    doc_.AddDefaultPorts();
    ASSERT_TRUE(storage_.Save(doc_, link.string(), message_)) << message_;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(target).size(), 558u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "real"), fs::directory_iterator{}), 1);
}

TEST_F(PosixConfigFileTest, FileErrorsBecomeTheUsersMessages) {
    const std::string missing = (dir_ / "none.vlk").string();
    EXPECT_FALSE(storage_.Load(doc_, missing, message_));
    EXPECT_EQ(message_, missing + " was not found.");

    const std::string inMissingDir = (dir_ / "no" / "such.vlk").string();
    EXPECT_FALSE(storage_.Save(doc_, inMissingDir, message_));
    EXPECT_EQ(message_, inMissingDir + " was not found.");

    EXPECT_FALSE(storage_.Load(doc_, dir_.string(), message_));
    EXPECT_EQ(message_, "Access to " + dir_.string() + " was denied.");

    const std::string throughFile = (dir_ / "plain").string();
    { std::ofstream(throughFile) << "x"; }
    EXPECT_FALSE(storage_.Load(doc_, throughFile + "/a.vlk", message_));
    EXPECT_EQ(message_, throughFile + "/a.vlk contains an incorrect path.");
}

}  // namespace
}  // namespace velk

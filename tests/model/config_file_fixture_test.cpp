// Configuration files of every schema, written by the independent fixture writer
// (tests/fixtures/make_fixtures.py): each loads and saves again byte for byte as the
// writer's expected file; every damaged file fails and leaves a new configuration.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/c_doc.h"
#include "model/config_file_reader.h"
#include "model/config_file_storage.h"
#include "model/config_file_writer.h"
#include "model/device_field_settings.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"
#include "tests/model/config_file_memory_access.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = VELK_FIXTURE_DIR;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Fixture files in a directory with the given extension, without the expected files.
std::vector<fs::path> Inputs(const fs::path& dir, const std::string& extension) {
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && EndsWith(name, extension) &&
            !EndsWith(name, ".expected" + extension)) {
            out.push_back(entry.path());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

fs::path ExpectedFor(const fs::path& input, const std::string& extension) {
    std::string name = input.filename().string();
    name.resize(name.size() - extension.size());
    return input.parent_path() / (name + ".expected" + extension);
}

std::size_t FirstDifference(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return i;
    }
    return n;
}

class ConfigFileFixtureTest : public ::testing::Test {
  protected:
    CDoc doc_{CDocServices{}, ModelSettings{}};
    testing::MemoryDocumentFileAccess files_;
    ConfigFileStorage storage_{files_};

    void ExpectNewConfiguration() {
        ASSERT_EQ(doc_.portList.size(), 16u);
        EXPECT_EQ(doc_.portList.front()->name, "COM1");
        EXPECT_EQ(doc_.portList.back()->name, "COM16");
        EXPECT_TRUE(doc_.rootGroup.subgroupList.empty());
        EXPECT_TRUE(doc_.documentTagList.empty());
        EXPECT_EQ(doc_.nextDeviceNumber, 1);
    }
};

TEST_F(ConfigFileFixtureTest, EveryFixtureResavesAsTheExpectedFile) {
    const auto inputs = Inputs(kFixtures, ".vlk");
    ASSERT_GE(inputs.size(), 15u) << "fixtures missing in " << kFixtures;
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        files_.files["in.vlk"] = ReadFile(input);
        std::string message;
        ASSERT_TRUE(storage_.Load(doc_, "in.vlk", message)) << message;
        ASSERT_TRUE(storage_.Save(doc_, "out.vlk", message)) << message;
        const std::string expected = ReadFile(ExpectedFor(input, ".vlk"));
        const std::string& saved = files_.files["out.vlk"];
        EXPECT_EQ(saved.size(), expected.size());
        EXPECT_TRUE(saved == expected)
            << "first difference at byte " << FirstDifference(saved, expected);
        // Only the target is left: no temporary file stays behind.
        EXPECT_EQ(files_.files.size(), 2u);
    }
}

TEST_F(ConfigFileFixtureTest, TheDocumentOpensAndSavesThroughTheStorage) {
    CDocServices services;
    services.storage = &storage_;
    CDoc doc{services, ModelSettings{}};
    files_.files["plant.vlk"] = ReadFile(kFixtures / "schema07.vlk");
    ASSERT_TRUE(doc.OnOpenDocument("plant.vlk"));
    EXPECT_EQ(doc.PathName(), "plant.vlk");
    EXPECT_FALSE(doc.IsModified());
    ASSERT_FALSE(doc.Devices().empty());
    EXPECT_EQ(doc.selection, doc.Devices().front());
    EXPECT_EQ(doc.FindTag("Device1.Group1.Inner.Word", "."), doc.documentTagList[6]);

    ASSERT_TRUE(doc.OnSaveDocument("copy.vlk"));
    EXPECT_TRUE(files_.files["copy.vlk"] == ReadFile(kFixtures / "schema07.expected.vlk"));
    EXPECT_EQ(doc.PathName(), "copy.vlk");

    files_.files["bad.vlk"] = ReadFile(kFixtures / "damaged" / "bool_tag_analog_scaling.vlk");
    EXPECT_FALSE(doc.OnOpenDocument("bad.vlk"));
    EXPECT_EQ(doc.portList.size(), 16u);
    EXPECT_TRUE(doc.Devices().empty());
    EXPECT_TRUE(doc.documentTagList.empty());
}

TEST_F(ConfigFileFixtureTest, DamagedFilesFailAndLeaveANewConfiguration) {
    const auto inputs = Inputs(kFixtures / "damaged", ".vlk");
    ASSERT_GE(inputs.size(), 20u);
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        // Start from a loaded configuration, so that the reset is visible.
        files_.files["good.vlk"] = ReadFile(kFixtures / "schema10.vlk");
        std::string message;
        ASSERT_TRUE(storage_.Load(doc_, "good.vlk", message));
        ASSERT_FALSE(doc_.rootGroup.subgroupList.empty());

        files_.files["bad.vlk"] = ReadFile(input);
        EXPECT_FALSE(storage_.Load(doc_, "bad.vlk", message));
        EXPECT_EQ(message, "Unexpected file format.");
        ExpectNewConfiguration();
    }
}

TEST_F(ConfigFileFixtureTest, EveryTruncationOfAFullFileFails) {
    const std::string full = ReadFile(kFixtures / "schema10.vlk");
    ASSERT_GT(full.size(), 1000u);
    for (std::size_t length = 1; length < full.size(); ++length) {
        CDoc doc{CDocServices{}, ModelSettings{}};
        const std::string cut = full.substr(0, length);
        ASSERT_FALSE(ConfigFileReader::ReadDocumentBytes(cut, doc)) << length;
        EXPECT_TRUE(doc.rootGroup.subgroupList.empty()) << length;
        EXPECT_TRUE(doc.documentTagList.empty()) << length;
    }
}

TEST_F(ConfigFileFixtureTest, ClipboardStreamsResaveAsExpected) {
    const auto inputs = Inputs(kFixtures / "clipboard", ".bin");
    ASSERT_GE(inputs.size(), 2u);
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        const std::string bytes = ReadFile(input);
        std::vector<std::unique_ptr<OModbusTag>> tags;
        ASSERT_TRUE(ConfigFileReader::ReadTagListBytes(bytes, tags));
        std::vector<const OModbusTag*> view;
        for (const auto& tag : tags) {
            EXPECT_EQ(tag->group, nullptr);
            view.push_back(tag.get());
        }
        EXPECT_TRUE(ConfigFileWriter::TagListBytes(view) == ReadFile(ExpectedFor(input, ".bin")));
    }
    for (const fs::path& input : Inputs(kFixtures / "clipboard" / "damaged", ".bin")) {
        SCOPED_TRACE(input.filename().string());
        const std::string bytes = ReadFile(input);
        std::vector<std::unique_ptr<OModbusTag>> tags;
        EXPECT_FALSE(ConfigFileReader::ReadTagListBytes(bytes, tags));
        EXPECT_TRUE(tags.empty());
    }
}

TEST_F(ConfigFileFixtureTest, FieldSettingsLoadIntoTheirDevicesAndOnlyThere) {
    CDoc doc{CDocServices{}, ModelSettings{}};
    ASSERT_TRUE(
        ConfigFileReader::ReadDocumentBytes(ReadFile(kFixtures / "device_settings.vlk"), doc));
    ASSERT_EQ(doc.rootGroup.subgroupList.size(), 3u);
    const auto& first = static_cast<const ODevice&>(*doc.rootGroup.subgroupList[0]).params;
    const auto& second = static_cast<const ODevice&>(*doc.rootGroup.subgroupList[1]).params;
    const auto& third = static_cast<const ODevice&>(*doc.rootGroup.subgroupList[2]).params;
    EXPECT_EQ(first.forceMultipleRegisterWrite, 1);
    EXPECT_EQ(first.forceMultipleCoilWrite, 1);
    EXPECT_EQ(first.maxReadRegisters, 60);
    EXPECT_EQ(first.maxReadBits, 100);
    EXPECT_EQ(first.maxBlockGap, 0);
    EXPECT_EQ(first.requestPause, 20);
    EXPECT_EQ(first.backoffFailures, 3);
    EXPECT_EQ(first.backoffCycles, 5);
    EXPECT_EQ(first.connectDelay, 0);
    // 126 registers per read is beyond any request: the default stays.
    EXPECT_EQ(second.connectDelay, 250);
    EXPECT_EQ(second.rtuOverTcp, 1);
    EXPECT_EQ(second.maxReadRegisters, 123);
    EXPECT_FALSE(HasFieldSettings(third));
    ASSERT_GE(doc.portList.size(), 3u);
    EXPECT_EQ(doc.portList[0]->rs485, 1);
    EXPECT_EQ(doc.portList[0]->rs485RtsOnSend, 0);
    EXPECT_EQ(doc.portList[0]->rs485DelayAfterSend, 3);
    EXPECT_EQ(doc.portList[1]->echoSuppression, 1);
    EXPECT_EQ(doc.portList[1]->rs485DelayBeforeSend, 0);  // 1001 ms: out of range
    EXPECT_FALSE(HasFieldSettings(*doc.portList[2]));

    // Without them a document is stored at the schema it always had.
    for (const auto& device : doc.rootGroup.subgroupList)
        static_cast<ODevice&>(*device).params = ODeviceParams{};
    for (const auto& port : doc.portList) {
        port->ApplyRs485Values(false, true, false, 0, 0, false);
        EXPECT_FALSE(HasFieldSettings(*port));
    }
    const std::string bytes = ConfigFileWriter::DocumentBytes(doc);
    EXPECT_EQ(bytes.find(std::string("\xFF\xFF\x0D\x00\x0D\x00ODeviceParams", 19)),
              std::string::npos);
    EXPECT_NE(bytes.find(std::string("\xFF\xFF\x0A\x00\x0D\x00ODeviceParams", 19)),
              std::string::npos);
    EXPECT_NE(bytes.find(std::string("\xFF\xFF\x0A\x00\x05\x00OPort", 11)), std::string::npos);

    // The mask write is one more key of the list (field_settings).
    CDoc masked{CDocServices{}, ModelSettings{}};
    ASSERT_TRUE(
        ConfigFileReader::ReadDocumentBytes(ReadFile(kFixtures / "field_settings.vlk"), masked));
    ASSERT_GE(masked.rootGroup.subgroupList.size(), 2u);
    EXPECT_EQ(static_cast<const ODevice&>(*masked.rootGroup.subgroupList[0]).params.maskWrite, 1);
    EXPECT_EQ(static_cast<const ODevice&>(*masked.rootGroup.subgroupList[1]).params.maskWrite, 0);
}

}  // namespace
}  // namespace velk

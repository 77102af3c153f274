#include "model/ae_event_space.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "model/user_condition_file.h"
#include "platform/file_reader.h"
#include "platform/text.h"

namespace velk {
namespace {

// Files by path; everything else cannot be opened.
class FakeFileReader final : public IFileReader {
  public:
    FileReadResult ReadAll(const std::string& path, std::string& bytes) override {
        opened.push_back(path);
        auto it = files.find(path);
        if (it == files.end()) return FileReadResult::CannotOpen;
        bytes = it->second;
        return failRead.count(path) ? FileReadResult::ReadError : FileReadResult::Ok;
    }
    std::map<std::string, std::string> files;
    std::map<std::string, bool> failRead;
    std::vector<std::string> opened;
};

TEST(AeEventSpaceBuiltIn, TablesHoldTheFixedEventSpace) {
    AeEventSpace space;
    ASSERT_EQ(space.EventTypes().size(), 3u);
    ASSERT_EQ(space.Categories().size(), 6u);
    const std::uint32_t ids[] = {1, 2, 4, 8, 256, 65536};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(space.Categories()[i].id, ids[i]);
    EXPECT_EQ(space.Categories()[3].description, "User-defined");
    EXPECT_EQ(space.Categories()[3].attributeIds,
              (std::vector<std::uint32_t>{110, 111, 112, 113, 114}));
    EXPECT_TRUE(space.Categories()[0].attributeIds.empty());

    ASSERT_EQ(space.Conditions().size(), 4u);
    EXPECT_EQ(space.FindCondition("Analog Level"), 3);
    EXPECT_EQ(space.FindCondition("analog level"), -1);  // exact match only
    EXPECT_EQ(space.SubconditionNames(3),
              (std::vector<std::string>{"LoLo", "Low", "High", "HiHi"}));
    EXPECT_EQ(space.SubconditionNames(0), (std::vector<std::string>{"Trip"}));
    EXPECT_EQ(space.SubconditionName(0), "Normal");
    EXPECT_EQ(space.SubconditionName(3), "CommFail");
    EXPECT_EQ(space.SubconditionName(99), "");
    EXPECT_TRUE(space.ConditionsOfCategory(kCategoryUserDefined).empty());
    EXPECT_EQ(space.ConditionsOfCategory(kCategoryDiscrete), (std::vector<std::uint16_t>{0, 1}));

    ASSERT_EQ(space.Attributes().size(), 5u);
    EXPECT_EQ(space.Attributes()[2].description, "NEW VALUE");
    EXPECT_EQ(space.Attributes()[4].type, kAttrVtI4);
}

TEST(AeEventSpaceUserConditions, SectionLinesAddConditionsWithTheirSubconditions) {
    AeEventSpace space;
    const auto report = space.AddUserConditions("[Valve]\nOpen\nClosed\n");
    EXPECT_EQ(report.conditionsAdded, 1u);
    EXPECT_EQ(report.subconditionsAdded, 2u);
    ASSERT_EQ(space.Conditions().size(), 5u);
    const AeCondition& valve = space.Conditions()[4];
    EXPECT_EQ(valve.name, "Valve");
    EXPECT_EQ(valve.id, 5u);
    EXPECT_EQ(valve.categoryId, kCategoryUserDefined);
    EXPECT_EQ(valve.firstSubcondition, 8);
    EXPECT_EQ(valve.subconditionCount, 2);
    EXPECT_EQ(space.Subconditions()[8].name, "Open");
    EXPECT_EQ(space.Subconditions()[9].name, "Closed");
    EXPECT_EQ(space.Subconditions()[9].conditionIndex, 4);
    EXPECT_EQ(space.ConditionsOfCategory(kCategoryUserDefined), (std::vector<std::uint16_t>{4}));
}

TEST(AeEventSpaceUserConditions, LineRulesForBracketsBlanksAndLineEnds) {
    AeEventSpace space;
    // A subcondition before any section extends "Analog Level"; an unclosed bracket gives an
    // empty name; empty lines are skipped; CR LF line ends leave no CR in names; other blanks
    // are kept.
    space.AddUserConditions("Extra\r\n\n[Door] trailing\r\n Ajar \r\n[NoClose\nx");
    EXPECT_EQ(space.SubconditionNames(3).back(), "Extra");
    EXPECT_EQ(space.Conditions()[3].subconditionCount, 5);
    ASSERT_EQ(space.Conditions().size(), 6u);
    EXPECT_EQ(space.Conditions()[4].name, "Door");
    EXPECT_EQ(space.SubconditionNames(4), (std::vector<std::string>{" Ajar "}));
    EXPECT_EQ(space.Conditions()[5].name, "");
    EXPECT_EQ(space.SubconditionNames(5), (std::vector<std::string>{"x"}));
}

TEST(AeEventSpaceUserConditions, LongNamesAreCutTo14Characters) {
    AeEventSpace space;
    const auto report =
        space.AddUserConditions("[ABCDEFGHIJKLMNOPQ]\n123456789012345678\n\xE4\xF6\xFC\n");
    EXPECT_TRUE(report.namesCut);
    EXPECT_EQ(space.Conditions()[4].name, "ABCDEFGHIJKLMN");
    EXPECT_EQ(space.Subconditions()[8].name, "12345678901234");
    // 8-bit text: ISO 8859-1 characters become UTF-8 inside.
    EXPECT_EQ(space.Subconditions()[9].name, "\xC3\xA4\xC3\xB6\xC3\xBC");
}

TEST(AeEventSpaceUserConditions, CapacitiesAreNeverExceeded) {
    AeEventSpace space;
    std::string file;
    for (int i = 0; i < 60; ++i)
        file += "[C" + std::to_string(i) + "]\nS" + std::to_string(i) + "\n";
    const auto report = space.AddUserConditions(file);
    EXPECT_TRUE(report.entriesDropped);
    EXPECT_EQ(space.Conditions().size(), AeEventSpace::kMaxConditions);
    EXPECT_EQ(report.conditionsAdded, 46u);
    EXPECT_EQ(space.Subconditions().size(), 8u + 46u);
    // The subconditions of dropped conditions are not given to the last kept one.
    EXPECT_EQ(space.Conditions().back().subconditionCount, 1);

    AeEventSpace many;
    std::string subs = "[Big]\n";
    for (int i = 0; i < 120; ++i) subs += "s" + std::to_string(i) + "\n";
    const auto manyReport = many.AddUserConditions(subs);
    EXPECT_TRUE(manyReport.entriesDropped);
    EXPECT_EQ(many.Subconditions().size(), AeEventSpace::kMaxSubconditions);
    EXPECT_EQ(many.Conditions().back().subconditionCount, 92);
}

// Whatever bytes the file holds, the tables stay within their capacities, names within 14
// characters and every condition's subconditions consecutive and its own.
TEST(AeEventSpaceUserConditions, ArbitraryBytesKeepTheTablesConsistent) {
    std::mt19937 random(12345);
    const std::string alphabet = "[]\n\r ab\xE9\xFF\t0";
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        const int length = static_cast<int>(random() % 3000);
        for (int i = 0; i < length; ++i) {
            bytes += (random() % 4 == 0) ? static_cast<char>(random() % 256)
                                         : alphabet[random() % alphabet.size()];
        }
        AeEventSpace space;
        space.AddUserConditions(bytes);
        ASSERT_LE(space.Conditions().size(), AeEventSpace::kMaxConditions);
        ASSERT_LE(space.Subconditions().size(), AeEventSpace::kMaxSubconditions);
        std::size_t listed = 1;  // "Normal" belongs to no condition
        for (std::size_t c = 0; c < space.Conditions().size(); ++c) {
            const AeCondition& condition = space.Conditions()[c];
            ASSERT_LE(Utf8Length(condition.name), AeEventSpace::kMaxNameLength);
            EXPECT_EQ(condition.id, c + 1);
            for (std::uint16_t k = 0; k < condition.subconditionCount; ++k) {
                const AeSubcondition& sub =
                    space.Subconditions().at(condition.firstSubcondition + k);
                ASSERT_EQ(sub.conditionIndex, c);
                ASSERT_EQ(sub.index, condition.firstSubcondition + k);
                ASSERT_LE(Utf8Length(sub.name), AeEventSpace::kMaxNameLength);
            }
            listed += condition.subconditionCount;
        }
        ASSERT_EQ(listed, space.Subconditions().size());
    }
}

TEST(UserConditionFile, SearchesTheDirectoriesInOrder) {
    FakeFileReader files;
    files.files["/etc/velkopc/AE_Cond.INI"] = "[Etc]\n";
    files.files["/cwd/AE_Cond.INI"] = "[Cwd]\n";
    AeEventSpace space;
    std::string found;
    const auto dirs = UserConditionDirectories("/opt/velk/bin", "/cwd", "/opt/velk/share/velkopc");
    EXPECT_EQ(dirs, (std::vector<std::string>{"/opt/velk/bin", "/etc/velkopc", "/cwd",
                                              "/opt/velk/share/velkopc"}));
    EXPECT_EQ(LoadUserConditionFile(space, files, dirs, &found), UserConditionLoad::Loaded);
    EXPECT_EQ(found, "/etc/velkopc/AE_Cond.INI");
    EXPECT_EQ(space.Conditions().back().name, "Etc");
    EXPECT_EQ(files.opened.front(), "/opt/velk/bin/AE_Cond.INI");
}

TEST(UserConditionFile, MissingFileKeepsTheBuiltInTables) {
    FakeFileReader files;
    AeEventSpace space;
    EXPECT_EQ(LoadUserConditionFile(space, files, {"/a", "/b/"}), UserConditionLoad::NotFound);
    EXPECT_EQ(space.Conditions().size(), 4u);
    EXPECT_EQ(files.opened, (std::vector<std::string>{"/a/AE_Cond.INI", "/b/AE_Cond.INI"}));
}

TEST(UserConditionFile, ReadErrorKeepsTheCompleteLinesReadSoFar) {
    FakeFileReader files;
    files.files["/a/AE_Cond.INI"] = "[Pump]\nRun\nSto";
    files.failRead["/a/AE_Cond.INI"] = true;
    AeEventSpace space;
    EXPECT_EQ(LoadUserConditionFile(space, files, {"/a"}), UserConditionLoad::ReadError);
    EXPECT_EQ(space.SubconditionNames(4), (std::vector<std::string>{"Run"}));
}

}  // namespace
}  // namespace velk

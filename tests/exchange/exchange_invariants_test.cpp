// Whatever the files hold, imports leave a consistent tree: every tag once in the
// document list, in its group's name order, in exactly the scan lists it belongs to, in
// location order. Inputs are generated from a seeded random source: lines made of valid
// and broken fields, and raw bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "exchange/csv_format.h"
#include "exchange/csv_importer.h"
#include "exchange/res_importer.h"
#include "exchange/text_lines.h"
#include "platform/text.h"
#include "tests/exchange/exchange_test_support.h"

namespace velk {
namespace {

using testing::ExchangeFixture;

bool InScanOrder(const TagList& list) {
    return std::is_sorted(list.begin(), list.end(), [](const OModbusTag* a, const OModbusTag* b) {
        return a->locationKind < b->locationKind ||
               (a->locationKind == b->locationKind && a->address < b->address);
    });
}

void CheckGroup(const OTagGroup& group, const ODevice* device,
                std::multiset<const OModbusTag*>& seen) {
    for (std::size_t i = 0; i < group.tagList.size(); ++i) {
        const OModbusTag& tag = *group.tagList[i];
        seen.insert(&tag);
        EXPECT_EQ(tag.group, &group) << tag.name;
        EXPECT_EQ(tag.device, device) << tag.name;
        ASSERT_TRUE(tag.scaling && tag.alarm);
        EXPECT_EQ(tag.IsBool(), dynamic_cast<const OBinaryData*>(tag.scaling.get()) != nullptr);
        EXPECT_EQ(tag.IsBool(), dynamic_cast<const OBinaryAlarm*>(tag.alarm.get()) != nullptr);
        if (i > 0) {
            EXPECT_LT(CompareNoCase(group.tagList[i - 1]->name, tag.name), 0);
        }
        if (device != nullptr) {
            EXPECT_EQ(ListContains(&tag, device->eventSignalScanList), tag.IsEventSignal());
            EXPECT_EQ(ListContains(&tag, device->alarmScanList), tag.HasEnabledAlarm());
        }
    }
    for (std::size_t i = 0; i < group.subgroupList.size(); ++i) {
        const OTagGroup& sub = *group.subgroupList[i];
        EXPECT_EQ(sub.parent, &group);
        if (i > 0) {
            EXPECT_LT(CompareNoCase(group.subgroupList[i - 1]->name, sub.name), 0);
        }
        CheckGroup(sub, device != nullptr ? device : sub.GetDevice(), seen);
    }
}

void CheckTree(const CDoc& document) {
    std::multiset<const OModbusTag*> seen;
    CheckGroup(document.rootGroup, nullptr, seen);
    const std::multiset<const OModbusTag*> listed(document.documentTagList.begin(),
                                                  document.documentTagList.end());
    EXPECT_EQ(listed, seen);
    for (const ODevice* device : document.Devices()) {
        const std::set<const OModbusTag*> events(device->eventSignalScanList.begin(),
                                                 device->eventSignalScanList.end());
        const std::set<const OModbusTag*> alarms(device->alarmScanList.begin(),
                                                 device->alarmScanList.end());
        EXPECT_EQ(events.size(), device->eventSignalScanList.size()) << "listed twice";
        EXPECT_EQ(alarms.size(), device->alarmScanList.size()) << "listed twice";
        EXPECT_TRUE(InScanOrder(device->eventSignalScanList));
        EXPECT_TRUE(InScanOrder(device->alarmScanList));
        for (const OModbusTag* tag : device->alarmScanList) EXPECT_EQ(seen.count(tag), 1u);
        for (const OModbusTag* tag : device->eventSignalScanList) EXPECT_EQ(seen.count(tag), 1u);
        EXPECT_EQ(device->importMark, 0);
    }
    EXPECT_FALSE(document.batchFlag);
}

class Generator {
  public:
    explicit Generator(unsigned seed) : random_(seed) {}
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    template <class T, std::size_t N>
    const T& Of(const T (&items)[N]) {
        return items[Pick(static_cast<int>(N))];
    }

    std::string Path() {
        static const char* devices[] = {"D1", "d1", "D2", "Plant", ""};
        static const char* groups[] = {"G", "g", "Sub", ""};
        static const char* names[] = {"A", "a", "B", "Level", "T1", "t1", ""};
        std::string path;
        const int form = Pick(4);
        if (form > 0) path += std::string(Of(devices)) + ".";
        for (int i = 1; i < form; ++i) path += std::string(Of(groups)) + ".";
        return path + Of(names);
    }
    std::string CsvLine(char separator) {
        static const char* types[] = {"BOOL", "INT", "UINT", "LONG", "REAL", "STRING", "x", ""};
        static const char* locations[] = {"000001", "100002", "300003", "400004", "E00005",
                                          "400004", "E00001", "200001", "",       "4"};
        static const char* values[] = {"", "0", "1", "2.5", "-3", "x", "YES", "LIN", "SQR", "INV"};
        std::string line = Path();
        for (std::size_t c = 1; c < kCsvColumnCount; ++c) {
            line += separator;
            if (c == kColDataType)
                line += Of(types);
            else if (c == kColLocation)
                line += Of(locations);
            else if (Pick(3) == 0)
                line += Of(values);
        }
        if (Pick(10) == 0) line += std::string(",extra") + separator;
        if (Pick(10) == 0)
            line.resize(static_cast<std::size_t>(Pick(static_cast<int>(line.size()) + 1)));
        return line;
    }
    std::string ResLine() {
        static const char* names[] = {"A", "a", "B", "Level", "P.Q", ""};
        static const char* types[] = {"BOOL", "INT", "REAL", "STRING", "x", ""};
        static const char* numbers[] = {"", "", "1", "10", "12", "65536"};
        auto pad = [](std::string s, std::size_t w) {
            s.resize(std::max(w, s.size() + 1), ' ');
            return s;
        };
        std::string line = pad(Of(names), 12) + pad(Of(types), 8) + pad("", 8) +
                           pad(Of(numbers), 8) + pad("", 8) + pad(Of(numbers), 8) + Of(numbers);
        if (Pick(8) == 0)
            line.resize(static_cast<std::size_t>(Pick(static_cast<int>(line.size()) + 1)));
        return line;
    }
    std::string Bytes(std::size_t n) {
        std::string out;
        for (std::size_t i = 0; i < n; ++i) out += static_cast<char>(Pick(256));
        return out;
    }

  private:
    std::mt19937 random_;
};

TEST(ExchangeInvariants, RandomCsvAndResImportsKeepTheTreeConsistent) {
    ExchangeFixture f;
    Generator g(20261209);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        const int kind = g.Pick(5);
        std::string text;
        if (kind <= 2) {
            const char separator = kind == 2 ? '\t' : ',';
            text = CsvHeaderLine(separator) + "\r\n";
            const int lines = g.Pick(12);
            for (int i = 0; i < lines; ++i)
                text += g.CsvLine(separator) + (g.Pick(6) ? "\r\n" : "\n");
            if (kind == 1) {
                std::string utf16;
                ASSERT_TRUE(EncodeTextFile(text, CsvEncoding::Utf16Le, utf16));
                text = utf16;
            }
        } else if (kind == 3) {
            text = "RES C:\\x\\" + std::string(g.Pick(2) ? "R1" : "r1") + "\r\n" +
                   "Variable    Type    Init    Read    Kind    Write   Event\r\n";
            const int lines = g.Pick(10);
            for (int i = 0; i < lines; ++i) text += g.ResLine() + "\r\n";
        } else {
            text = (g.Pick(2) ? CsvHeaderLine(',') + "\n" : std::string("RES R1\n")) +
                   g.Bytes(static_cast<std::size_t>(g.Pick(400)));
        }
        f.store.files["/in"] = text;
        f.store.readErrorAfter =
            g.Pick(8) == 0 ? static_cast<std::size_t>(g.Pick(static_cast<int>(text.size()) + 1))
                           : std::string::npos;
        const ImportMode mode = g.Pick(2) ? ImportMode::Replacing : ImportMode::Updating;
        if (kind == 3 || (kind == 4 && text[0] == 'R')) {
            ResImporter(f.document, f.Services()).Import("/in", mode);
        } else {
            CsvImporter(f.document, f.Services()).Import("/in", mode);
        }
        CheckTree(f.document);
        if (::testing::Test::HasFailure()) break;
    }
    EXPECT_FALSE(f.document.documentTagList.empty());
}

}  // namespace
}  // namespace velk

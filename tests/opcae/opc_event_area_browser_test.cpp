#include "opcae/opc_event_area_browser.h"

#include <gtest/gtest.h>

#include "opc/opc_result.h"
#include "opcae/b_enum_event_area.h"
#include "opcae/opc_ae_types.h"
#include "tests/opcae/ae_test_support.h"

namespace velk {
namespace {

class AreaBrowserTest : public ::testing::Test, public testing::AeFixture {
  protected:
    AreaBrowserTest()
        : plc1(AddDevice("PLC1")),
          plc2(AddDevice("PLC2")),
          g(AddGroup(plc1, "G")),
          sub(AddGroup(g, "Sub")),
          browser(document) {
        AddBinaryTag(g, "T1");
        AddAnalogTag(g, "T2");
        AddTag(g, "Quiet", VT_BOOL);  // alarm off: no source
        AddBinaryTag(plc1, "Top");
    }

    std::vector<std::string> Browse(std::uint32_t type, const char* filter = "",
                                    HRESULT* result = nullptr) {
        std::unique_ptr<BEnumEventArea> enumerator;
        const HRESULT hr = browser.BrowseOPCAreas(type, filter, &enumerator);
        if (result) *result = hr;
        std::vector<std::string> names;
        std::uint32_t fetched = 0;
        enumerator->Next(100, &names, &fetched);
        return names;
    }

    ODevice& plc1;
    ODevice& plc2;
    OTagGroup& g;
    OTagGroup& sub;
    OPCEventAreaBrowser browser;
};

TEST_F(AreaBrowserTest, RootListsTheDevicesAndNoSources) {
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Browse(OPC_AREA, "", &hr), (std::vector<std::string>{"PLC1", "PLC2"}));
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(Browse(OPC_AREA, "*"), (std::vector<std::string>{"PLC1", "PLC2"}));
    EXPECT_TRUE(Browse(OPC_SOURCE, "", &hr).empty());
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_TRUE(Browse(OPC_AREA, "PLC*", &hr).empty());  // no pattern matching
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_TRUE(Browse(7, "", &hr).empty());
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_EQ(browser.BrowseOPCAreas(OPC_AREA, "", nullptr), E_INVALIDARG);
    EXPECT_TRUE(trace.Has("Called IOPCEventAreaBrowser::BrowseOPCAreas, return code: 0"));
}

TEST_F(AreaBrowserTest, ChangeBrowsePositionUpDownAndTo) {
    EXPECT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_UP, ""), E_FAIL);
    EXPECT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_DOWN, ""), E_INVALIDARG);
    EXPECT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_DOWN, "PLC9"), OPC_E_INVALIDBRANCHNAME);
    EXPECT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_DOWN, "plc1"), S_OK);
    EXPECT_EQ(&browser.Position(), &plc1);
    EXPECT_EQ(Browse(OPC_AREA), std::vector<std::string>{"G"});
    EXPECT_EQ(Browse(OPC_SOURCE), std::vector<std::string>{"Top"});
    EXPECT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_UP, nullptr), S_OK);
    EXPECT_EQ(&browser.Position(), &document.rootGroup);

    EXPECT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_TO, "PLC1.G"), S_OK);
    EXPECT_EQ(&browser.Position(), &g);
    EXPECT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_TO, "PLC1."), OPC_E_INVALIDBRANCHNAME);
    EXPECT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_TO, "PLC1.X"), OPC_E_INVALIDBRANCHNAME);
    EXPECT_EQ(&browser.Position(), &g);  // stays
    EXPECT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_TO, "pLc1.g.SUB"), S_OK);
    EXPECT_EQ(&browser.Position(), &sub);
    EXPECT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_TO, ""), S_OK);
    EXPECT_EQ(&browser.Position(), &document.rootGroup);
    EXPECT_EQ(browser.ChangeBrowsePosition(9, "PLC1"), E_INVALIDARG);
    EXPECT_TRUE(
        trace.Contains("Called IOPCEventAreaBrowser::ChangeBrowsePosition, return code: "
                       "0xc0040203"));
}

TEST_F(AreaBrowserTest, BrowseToFollowsTheAreaDelimiter) {
    ModelSettings settings;
    settings.areaDelimiter = "/";
    document.SetSettings(settings);
    EXPECT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_TO, "PLC1/G"), S_OK);
    EXPECT_EQ(&browser.Position(), &g);
    EXPECT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_TO, "PLC1.G"), OPC_E_INVALIDBRANCHNAME);
    std::string name;
    EXPECT_EQ(browser.GetQualifiedAreaName("Sub", &name), S_OK);
    EXPECT_EQ(name, "PLC1/G/Sub");
    EXPECT_EQ(browser.GetQualifiedSourceName("T1", &name), S_OK);
    EXPECT_EQ(name, "PLC1/G/T1");
}

TEST_F(AreaBrowserTest, SourcesAreAlarmedTagsNamedByTheirSourceText) {
    Binary(*g.FindOwnTag("T1")).source = "Pump-Trip";
    ASSERT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_TO, "PLC1.G"), S_OK);
    EXPECT_EQ(Browse(OPC_SOURCE), (std::vector<std::string>{"Pump-Trip", "T2"}));
    EXPECT_EQ(Browse(OPC_AREA), std::vector<std::string>{"Sub"});
}

TEST_F(AreaBrowserTest, QualifiedNames) {
    std::string name;
    ASSERT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_DOWN, "PLC1"), S_OK);
    EXPECT_EQ(browser.GetQualifiedAreaName("", &name), S_OK);
    EXPECT_EQ(name, "PLC1");
    EXPECT_EQ(browser.GetQualifiedAreaName("g", &name), S_OK);
    EXPECT_EQ(name, "PLC1.G");
    EXPECT_EQ(browser.GetQualifiedAreaName("Nope", &name), E_INVALIDARG);
    EXPECT_EQ(browser.GetQualifiedAreaName("", nullptr), E_INVALIDARG);
    EXPECT_EQ(browser.GetQualifiedSourceName("G.T1", &name), S_OK);
    EXPECT_EQ(name, "PLC1.G.T1");
    ASSERT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_DOWN, "G"), S_OK);
    EXPECT_EQ(browser.GetQualifiedSourceName("t1", &name), S_OK);
    EXPECT_EQ(name, "PLC1.G.T1");
    EXPECT_EQ(browser.GetQualifiedSourceName("", &name), E_INVALIDARG);
    EXPECT_EQ(browser.GetQualifiedSourceName("Missing", &name), E_INVALIDARG);
    EXPECT_EQ(browser.GetQualifiedSourceName("T1", nullptr), E_INVALIDARG);
    ASSERT_EQ(browser.ChangeBrowsePosition(OPCAE_BROWSE_TO, ""), S_OK);
    EXPECT_EQ(browser.GetQualifiedAreaName("", &name), S_OK);
    EXPECT_EQ(name, "");
}

TEST_F(AreaBrowserTest, EnumeratorNextSkipResetAndClone) {
    std::unique_ptr<BEnumEventArea> e;
    ASSERT_EQ(browser.BrowseOPCAreas(OPC_AREA, "", &e), S_OK);
    std::vector<std::string> names;
    std::uint32_t fetched = 0;
    EXPECT_EQ(e->Next(1, nullptr, &fetched), E_INVALIDARG);
    EXPECT_EQ(e->Next(2, &names, nullptr), E_INVALIDARG);
    EXPECT_EQ(e->Next(1, &names, nullptr), S_OK);
    EXPECT_EQ(names, std::vector<std::string>{"PLC1"});
    std::unique_ptr<BEnumEventArea> clone;
    EXPECT_EQ(e->Clone(nullptr), E_INVALIDARG);
    ASSERT_EQ(e->Clone(&clone), S_OK);
    EXPECT_EQ(e->Next(5, &names, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(names, std::vector<std::string>{"PLC2"});
    EXPECT_EQ(e->Next(1, &names, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(1), S_OK);
    EXPECT_EQ(e->Skip(5), S_FALSE);
    // The clone starts at the first entry.
    EXPECT_EQ(clone->Next(2, &names, &fetched), S_OK);
    EXPECT_EQ(names, (std::vector<std::string>{"PLC1", "PLC2"}));

    std::unique_ptr<BEnumEventArea> bad;
    browser.BrowseOPCAreas(5, "", &bad);
    EXPECT_EQ(bad->Reset(), E_FAIL);
}

TEST_F(AreaBrowserTest, EnumeratorWalksTheLiveLists) {
    std::unique_ptr<BEnumEventArea> e;
    ASSERT_EQ(browser.BrowseOPCAreas(OPC_AREA, "", &e), S_OK);
    AddDevice("PLC3");
    std::vector<std::string> names;
    std::uint32_t fetched = 0;
    e->Next(10, &names, &fetched);
    EXPECT_EQ(names, (std::vector<std::string>{"PLC1", "PLC2", "PLC3"}));
}

}  // namespace
}  // namespace velk

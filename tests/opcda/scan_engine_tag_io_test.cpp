// The DA group over the real tag scan engine and an in-memory controller.
#include "opc/scan_engine_tag_io.h"

#include "modbus/scan_engine.h"
#include "model/b_event.h"
#include "model/locks.h"
#include "opc/opc_result.h"
#include "tests/modbus/scan_fake_exchange.h"
#include "tests/opcda/opcda_fixture.h"

namespace velk::testing {
namespace {

struct DiscardEvents final : IEventPoster {
    void PostEvent(std::unique_ptr<BEvent>) override {}
};

class ScanEngineTagIOTest : public DaTest {
  protected:
    std::shared_ptr<OPCServer> EngineServer() {
        DAServerServices services;
        services.clock = &clock;
        services.tagIO = &tagIO;
        services.root = &root;
        services.locks = &locks;
        DAServerSettings settings;
        settings.runUpdateCycles = false;
        return OPCServer::Create(services, settings);
    }
    ScanFakeExchange exchange;
    DiscardEvents events;
    ScanEngine engine{exchange, events, clock};
    ScanEngineTagIO tagIO{engine};
};

TEST_F(ScanEngineTagIOTest, UpdateCycleServesControllerValuesInOneReadPerTopic) {
    OModbusTag& next = AddTag(*plc1, *plc1, "Next", VT_I2, kHoldingRegister, 11);
    exchange.image.holding[10] = 1234;
    exchange.image.holding[11] = 0xFFFF;
    auto server = EngineServer();
    auto group = MakeGroup(*server);
    Add(*group, {"PLC1.Next", "PLC1.T"});
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    group->RunUpdateCycle();
    EXPECT_EQ(exchange.RequestCount(), 1u);  // neighbouring registers in one block
    ASSERT_EQ(sink->Events().size(), 1u);
    const DataEvent e = sink->Events()[0];
    ASSERT_EQ(e.items.Count(), 2u);
    EXPECT_EQ(e.items.values[0], Variant::Int16(-1));
    EXPECT_EQ(e.items.values[1], Variant::Int16(1234));
    EXPECT_EQ(e.items.qualities[0], kQualityGood);
    EXPECT_EQ(next.quality, kQualityGood);
}

TEST_F(ScanEngineTagIOTest, AControllerThatDoesNotAnswerShowsInTheQuality) {
    auto server = EngineServer();
    auto group = MakeGroup(*server);
    auto h = Add(*group, {"PLC1.T"});
    exchange.FailNext(10);
    std::vector<OPCITEMSTATE> states;
    std::vector<HRESULT> errors;
    EXPECT_EQ(group->Read(OPC_DS_DEVICE, h, states, errors), S_OK);
    EXPECT_EQ(states[0].quality, kQualityCommFailure);
}

TEST_F(ScanEngineTagIOTest, WritesReachTheControllerOrReportWhyNot) {
    auto server = EngineServer();
    auto group = MakeGroup(*server);
    auto h = Add(*group, {"PLC1.T", "PLC1.RO"});
    std::vector<HRESULT> errors;
    EXPECT_EQ(group->Write({h[0]}, {Variant::Int16(77)}, errors), S_OK);
    EXPECT_EQ(exchange.image.holding[10], 77);
    EXPECT_EQ(group->Write({h[1]}, {Variant::Int16(1)}, errors), S_FALSE);
    EXPECT_EQ(errors[0], OPC_E_BADRIGHTS);
    exchange.FailNext(10);
    EXPECT_EQ(group->Write({h[0]}, {Variant::Int16(78)}, errors), S_FALSE);
    EXPECT_EQ(errors[0], E_FAIL);
    std::lock_guard data(locks.tagData);
    EXPECT_EQ(t->quality, kQualityBad);
    EXPECT_EQ(t->value, Variant::Int16(78));
}

TEST_F(ScanEngineTagIOTest, SimulatedDevicesChangeWithoutTheController) {
    plc1->simulationEnabled = 1;
    auto server = EngineServer();
    auto group = MakeGroup(*server);
    auto h = Add(*group, {"PLC1.T"});
    std::vector<OPCITEMSTATE> first, second;
    std::vector<HRESULT> errors;
    group->Read(OPC_DS_DEVICE, h, first, errors);
    clock.Advance(1000);
    group->Read(OPC_DS_DEVICE, h, second, errors);
    EXPECT_EQ(exchange.RequestCount(), 0u);
    EXPECT_NE(first[0].value, second[0].value);  // a ramp moves on every read
}

}  // namespace
}  // namespace velk::testing

// Readers of the same block share one exchange: what they take, and what they never take.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "modbus/scan_engine.h"
#include "model/o_tag_data.h"
#include "tests/modbus/scan_fake_exchange.h"
#include "tests/modbus/scan_test_tags.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"

namespace velk {
namespace {

using namespace velk::testing;

constexpr std::uint32_t kPeriodStart = 5000;

class ScanSharedRead : public ::testing::Test {
  protected:
    ScanSharedRead() {
        for (std::uint16_t a : {0, 4, 8}) tags.Add(kHoldingRegister, a);
        middle.push_back(tags.list[1]);  // a second reader that wants part of the block
        clock.SetTick(kPeriodStart);
    }

    void ReadInPeriod(const TagList& list, std::uint32_t periodStart = kPeriodStart) {
        engine.ReadTags(tags.device, list, periodStart);
    }

    // The first reader's request is held on the wire while `second` runs; then it is answered.
    void WhileFirstInFlight(const std::function<void()>& second) {
        WhileFirstHeld(exchange.beforeAnswer, second);
    }

    // The first reader's request is held at `stage` of its exchange while `second` runs.
    void WhileFirstHeld(std::function<void(ODevice&, const OMessage&)>& stage,
                        const std::function<void()>& second) {
        std::promise<void> asked, release;
        std::shared_future<void> go = release.get_future().share();
        std::atomic<int> calls{0};
        stage = [&](ODevice&, const OMessage&) {
            if (calls++ != 0) return;
            asked.set_value();
            go.wait();
        };
        std::thread first([&] { ReadInPeriod(tags.list); });
        asked.get_future().wait();
        std::thread other(second);
        // The second reader has found the request in flight when it waits on it; give it the
        // time to get there, then answer.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release.set_value();
        first.join();
        other.join();
        stage = nullptr;
    }

    ScanFakeExchange exchange;
    RecordingPoster poster;
    FakeClock clock;
    ScanEngine engine{exchange, poster, clock};
    TestTags tags;
    TagList middle;
};

TEST_F(ScanSharedRead, TwoReadersOfOneBlockInOnePeriodMakeOneExchange) {
    exchange.image.holding[4] = 44;
    WhileFirstInFlight([&] { ReadInPeriod(middle); });
    ReadInPeriod(tags.list);  // just finished: taken too
    EXPECT_EQ(exchange.RequestCount(), 1u);
    EXPECT_EQ(engine.SharedReads().AnswersTaken(), 2u);
    EXPECT_EQ(tags.list[1]->value, Variant::Int16(44));
    EXPECT_EQ(tags.list[1]->quality, kQualityGood);
    EXPECT_EQ(tags.list[1]->timestamp, ScanFakeExchange::kAnswerTime);
}

TEST_F(ScanSharedRead, AReaderTakesNoAnswerIssuedBeforeItsPeriodOrItsCall) {
    ReadInPeriod(tags.list);
    exchange.image.holding[4] = 7;
    clock.SetTick(kPeriodStart + 250);
    ReadInPeriod(middle, kPeriodStart + 250);  // its period began after the first read
    engine.ReadTags(tags.device, middle);      // a device read: only requests after its call
    EXPECT_EQ(exchange.RequestCount(), 3u);
    EXPECT_EQ(engine.SharedReads().AnswersTaken(), 0u);
    EXPECT_EQ(tags.list[1]->value, Variant::Int16(7));
}

// A request that waits for the channel goes on the wire after anyone who finds it waiting:
// a device read, and a group whose next period began meanwhile, join it.
TEST_F(ScanSharedRead, ReadersJoinARequestThatStillWaitsForTheChannel) {
    exchange.image.holding[4] = 44;
    WhileFirstHeld(exchange.beforeWire, [&] {
        clock.SetTick(kPeriodStart + 250);
        std::thread group([&] { ReadInPeriod(middle, kPeriodStart + 250); });
        engine.ReadTags(tags.device, middle);
        group.join();
    });
    EXPECT_EQ(exchange.RequestCount(), 1u);
    EXPECT_EQ(engine.SharedReads().AnswersTaken(), 2u);
    EXPECT_EQ(tags.list[1]->value, Variant::Int16(44));
    // Dated by the moment it went out: a group of that period takes it afterwards too.
    ReadInPeriod(middle, kPeriodStart + 250);
    EXPECT_EQ(exchange.RequestCount(), 1u);
}

TEST_F(ScanSharedRead, ADeviceReadCalledAfterTheRequestWentOutSendsItsOwn) {
    WhileFirstInFlight([&] { engine.ReadTags(tags.device, middle); });
    EXPECT_EQ(exchange.RequestCount(), 2u);
    EXPECT_EQ(engine.SharedReads().AnswersTaken(), 0u);
}

TEST_F(ScanSharedRead, AFailedSharedExchangeFailsEveryReaderAndIsReportedForEach) {
    tags.list[1]->SetValue(Variant::Int16(3));
    tags.list[1]->quality = kQualityGood;
    exchange.FailNext(1);
    WhileFirstInFlight([&] { ReadInPeriod(middle); });
    ReadInPeriod(middle);
    EXPECT_EQ(exchange.RequestCount(), 1u);
    // The sender's failure reached the supervision through its own exchange; each of the two
    // readers that took it reports it once more, as its own exchange would have.
    EXPECT_EQ(exchange.takenFailures.load(), 2);
    for (OModbusTag* tag : tags.list) EXPECT_EQ(tag->quality, kQualityCommFailure);
    EXPECT_EQ(tags.list[1]->value, Variant::Int16(3));  // kept, as after any failure
}

TEST_F(ScanSharedRead, AWriteBetweenTwoReadsIsNeverHiddenByTheFirstAnswer) {
    ReadInPeriod(tags.list);
    // Another client writes the tag; the controller's logic then puts its own value there.
    ASSERT_EQ(engine.WriteTag(tags.device, *tags.list[1], Variant::Int16(21)), S_OK);
    exchange.image.holding[4] = 22;
    ReadInPeriod(middle);  // same period, but after the write: its own request
    EXPECT_EQ(exchange.RequestCount(), 3u);
    EXPECT_EQ(tags.list[1]->value, Variant::Int16(22));
}

}  // namespace
}  // namespace velk

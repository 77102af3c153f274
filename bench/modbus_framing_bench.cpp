// Cost of building requests and judging answers in the three framings, and of the CRC.
#include <benchmark/benchmark.h>

#include <vector>

#include "modbus/crc16.h"
#include "modbus/message_framing.h"
#include "modbus/modbus_requests.h"

namespace {

using velk::MessageFraming;

void BM_Crc16(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)), 0x5A);
    for (auto _ : state) {
        benchmark::DoNotOptimize(velk::Crc16(bytes));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Crc16)->Arg(8)->Arg(256);

// A 123-register read answer of the framing, stored and judged, then every word read.
void BM_ReadAnswer(benchmark::State& state) {
    const auto framing = static_cast<MessageFraming>(state.range(0));
    auto answer = velk::CreateMessage(framing);
    answer->PutByte(1);
    answer->PutByte(3);
    answer->PutByte(246);
    for (int i = 0; i < 246; ++i) {
        answer->PutByte(static_cast<std::uint8_t>(i));
    }
    answer->Finish();
    const std::vector<std::uint8_t> frame(answer->Frame().begin(), answer->Frame().end());
    auto request = velk::BuildReadRequest(framing, 1, velk::ReadArea::kHoldingRegister, 0, 123);
    for (auto _ : state) {
        request->SetAnswerLength(static_cast<std::uint16_t>(frame.size()));
        request->StoreAnswer(frame, 1);
        benchmark::DoNotOptimize(request->IsValid());
        unsigned sum = 0;
        for (std::size_t n = 0; n < 123; ++n) {
            sum += request->GetWord(n);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_ReadAnswer)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"ascii0_rtu1_tcp2"});

void BM_BuildReadRequest(benchmark::State& state) {
    const auto framing = static_cast<MessageFraming>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            velk::BuildReadRequest(framing, 1, velk::ReadArea::kHoldingRegister, 0, 123));
    }
}
BENCHMARK(BM_BuildReadRequest)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"ascii0_rtu1_tcp2"});

}  // namespace

BENCHMARK_MAIN();

// Cost of the UA binary encoding of notification-sized values (1000 DataValues with a Double,
// a status and two time stamps, as a data change carries them), of decoding them, and of
// sending a response through the secure channel's chunking.
#include <benchmark/benchmark.h>

#include <vector>

#include "opcua/server_secure_channel.h"
#include "opcua/structure_codec.h"

namespace {

using namespace velk::ua;

std::vector<DataValue> Notifications(std::size_t count) {
    std::vector<DataValue> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        values[i].value = Variant::Scalar(static_cast<double>(i) * 0.5);
        values[i].status = kGood;
        values[i].sourceTimestamp = DateTime{130702107091230000 + static_cast<std::int64_t>(i)};
        values[i].serverTimestamp = DateTime{130702107091230000 + static_cast<std::int64_t>(i)};
    }
    return values;
}

void BM_EncodeDataValues(benchmark::State& state) {
    const auto values = Notifications(1000);
    std::size_t bytes = 0;
    for (auto _ : state) {
        BinaryWriter w;
        Encode(w, values);
        bytes = w.Size();
        benchmark::DoNotOptimize(w.Bytes().data());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_EncodeDataValues);

void BM_DecodeDataValues(benchmark::State& state) {
    BinaryWriter w;
    Encode(w, Notifications(1000));
    const auto bytes = w.Take();
    for (auto _ : state) {
        BinaryReader r(bytes);
        std::vector<DataValue> values;
        Decode(r, values);
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_DecodeDataValues);

class BenchClock final : public velk::IClock {
  public:
    velk::FileTime NowUtc() const override { return 130702107091230000ull; }
    velk::LocalTime NowLocal() const override { return {}; }
    std::uint32_t TickCount() const override { return 0; }
    velk::LocalTime ToLocal(velk::FileTime) const override { return {}; }
    bool LocalToUtc(const velk::LocalTime&, velk::FileTime&) const override { return false; }
    void Sleep(std::uint32_t) override {}
};

// A response of range(0) bytes through an open channel with 8 KiB chunks.
void BM_ChannelResponse(benchmark::State& state) {
    BenchClock clock;
    ServerSecureChannel channel(clock, 1);
    channel.OnReceived(EncodeMessage(HelloMessage{0, 8192, 8192, 0, 0, "opc.tcp://h"}));
    OpenSecureChannelRequest open;
    open.requestedLifetime = 600'000;
    std::vector<std::uint8_t> chunk;
    AppendSecureChunk(chunk, MessageType::kOpenSecureChannel, ChunkType::kFinal, 0, 0, 1, 1,
                      EncodeServiceMessage(open));
    channel.OnReceived(chunk);
    channel.TakeOutput();
    const std::vector<std::uint8_t> body(static_cast<std::size_t>(state.range(0)), 0x5A);
    for (auto _ : state) {
        benchmark::DoNotOptimize(channel.SendResponse(2, body));
        benchmark::DoNotOptimize(channel.TakeOutput().data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ChannelResponse)->Arg(1000)->Arg(65536)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();

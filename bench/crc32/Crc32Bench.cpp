// CRC-32 throughput of the checksum of watched parts beside zlib's crc32, in the same run.
#include "core/Crc32.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace {

std::vector<unsigned char> Data(size_t size)
{
    std::mt19937 rng(1);
    std::vector<unsigned char> data(size);
    for (auto& b : data)
        b = static_cast<unsigned char>(rng());
    return data;
}

void BM_Taluvo(benchmark::State& state)
{
    const auto data = Data(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(CCrc32::Of(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_TaluvoTableOnly(benchmark::State& state)
{
    const auto data = Data(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(CCrc32::UpdateByTable(0xFFFFFFFFu, data.data(), data.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Zlib(benchmark::State& state)
{
    const auto data = Data(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0, data.data(), static_cast<uInt>(data.size())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(BM_Taluvo)->Arg(1 << 10)->Arg(100 << 10)->Arg(4 << 20);
BENCHMARK(BM_Zlib)->Arg(1 << 10)->Arg(100 << 10)->Arg(4 << 20);
BENCHMARK(BM_TaluvoTableOnly)->Arg(100 << 10);
BENCHMARK_MAIN();

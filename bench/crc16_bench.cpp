// Checksum speed on the block sizes of the transfer (Google Benchmark).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "net/crc16.h"

namespace {

std::vector<unsigned char> RandomBlock(int nSize)
{
    std::mt19937 rng(1);
    std::vector<unsigned char> data(static_cast<size_t>(nSize));
    for (auto& b : data)
        b = static_cast<unsigned char>(rng());
    return data;
}

void BM_CalcCrc16(benchmark::State& state)
{
    auto data = RandomBlock(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(CalcCrc16(data.data(), static_cast<int>(data.size())));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CalcCrc16)->Arg(6)->Arg(1030)->Arg(1024)->Arg(64 * 1024);

void BM_CalcCrc16Bitwise(benchmark::State& state)
{
    auto data = RandomBlock(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(CalcCrc16Bitwise(data.data(), static_cast<int>(data.size())));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CalcCrc16Bitwise)->Arg(1024);

}  // namespace

BENCHMARK_MAIN();

// Throughput of whole requests, as the window makes them, in characters per second.
// The two baselines below show what bounds it: the entropy read from the operating
// system, and a single draw.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include <benchmark/benchmark.h>
#include <sodium.h>

#include "generator.h"
#include "secure_random.h"

namespace {

void request(benchmark::State& state, int length, int count, bool exclude_ambiguous) {
    const zelkora::GenerationRequest req{
        .length = length,
        .kinds = {"digits", "lower", "upper", "symbols"},
        .count = count,
        .exclude_ambiguous = exclude_ambiguous,
        .symbols = std::nullopt,
    };
    for (auto _ : state) {
        auto passwords = zelkora::generate_passwords(req);
        benchmark::DoNotOptimize(passwords.data());
        benchmark::ClobberMemory();
    }
    const double chars = static_cast<double>(length) * count * static_cast<double>(state.iterations());
    state.counters["chars_per_second"] = benchmark::Counter(chars, benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(request, length16_x100000_all_kinds, 16, 100'000, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(request, length1024_x10000_all_kinds, 1024, 10'000, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(request, length16_x100000_exclude_ambiguous, 16, 100'000, true)->Unit(benchmark::kMillisecond);

// The operating system's entropy, read in the same block size as SecureRandom.
void entropy_blocks(benchmark::State& state) {
    if (sodium_init() < 0) {
        state.SkipWithError("sodium_init failed");
        return;
    }
    std::vector<unsigned char> block(zelkora::SecureRandom::BLOCK_SIZE);
    for (auto _ : state) {
        randombytes_buf(block.data(), block.size());
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * block.size()));
}
BENCHMARK(entropy_blocks);

// One draw over the fill alphabet of all four kinds (87 characters).
void randbelow_87(benchmark::State& state) {
    zelkora::SecureRandom random;
    for (auto _ : state) {
        benchmark::DoNotOptimize(random.randbelow(87));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(randbelow_87);

}  // namespace

BENCHMARK_MAIN();

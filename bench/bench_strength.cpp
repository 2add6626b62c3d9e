// The strength figure is worked out again on every change of an option, so it must stay
// far below what a person notices, also for the longest password the window allows.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "strength.h"

namespace {

const std::vector<std::string> ALL_KINDS = {"digits", "lower", "upper", "symbols"};

void strength(benchmark::State& state, zelkora::GenerationRequest request) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelkora::password_strength(request));
    }
}

}  // namespace

BENCHMARK_CAPTURE(strength, length_16_all_kinds, {.length = 16, .kinds = ALL_KINDS, .count = 1});
BENCHMARK_CAPTURE(strength, length_1024_all_kinds, {.length = 1024, .kinds = ALL_KINDS, .count = 1});
BENCHMARK_CAPTURE(strength, length_1024_letters_in_symbol_set,
                  {.length = 1024, .kinds = ALL_KINDS, .count = 1, .exclude_ambiguous = false, .symbols = U"abc!?#"});

BENCHMARK_MAIN();

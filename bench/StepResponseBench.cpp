// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The figures of a long step response: 60 s recorded at 500 samples a second.
#include "record/StepResponse.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

void BM_StepResponse60s(benchmark::State &state)
{
    std::vector<StepSample> samples;
    for (int i = 0; i < 60 * 500; ++i) {
        const double t = i * 0.002;
        // A damped oscillation that settles late, with a trajectory and a current.
        const double y = 1 - std::exp(-0.2 * t) * std::cos(6 * t);
        samples.push_back({t, 1000 * y, 1000 * std::min(1.0, t), 2 * std::exp(-t)});
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(StepResponse::analyse(samples, {0, 1000, 0}));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(samples.size()));
}
BENCHMARK(BM_StepResponse60s)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

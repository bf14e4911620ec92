// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <chrono>
#include <cstdint>

/// The high-resolution counter: a monotonic tick count and its frequency.
class HighResCounter
{
public:
    /// Current counter value in ticks.
    static int64_t now()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    /// Ticks per second.
    static constexpr int64_t frequency() { return 1'000'000'000; }
    /// Milliseconds between two counter values.
    static double elapsedMs(int64_t from, int64_t to)
    {
        return double(to - from) * 1000.0 / double(frequency());
    }
};

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

/// One sample of a tuning run's response: seconds since the start command
/// was written, and the controller's position, speed and command output.
struct TuningSample
{
    double seconds = 0;
    int32_t position = 0;
    int32_t speed = 0;
    int32_t command = 0;
};

/// The response of the last auto-tuning run, stamped by the decoder at every
/// answer that carries the command output while a run is recorded. Bounded:
/// once Capacity samples are held the oldest give way. Used under the
/// RegisterLock (the decoder writes, the window copies).
class TuningResponse
{
public:
    static constexpr size_t Capacity = 8192;

    /// A start command was written at \a nowNs: the previous run is forgotten.
    void start(int64_t nowNs);
    /// The final status arrived: nothing more is recorded.
    void stop() { m_recording = false; }
    bool recording() const { return m_recording; }
    void record(int64_t nowNs, int32_t position, int32_t speed, int32_t command);
    /// The samples held, oldest first.
    std::vector<TuningSample> samples() const;
    /// Samples that gave way to newer ones.
    size_t dropped() const { return m_dropped; }

private:
    std::vector<TuningSample> m_ring;
    size_t m_head = 0; ///< next slot to overwrite once full
    size_t m_dropped = 0;
    int64_t m_startNs = 0;
    bool m_recording = false;
};

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

/// Results of a timed wait on an event or on the log-file lock, with the values
/// the system's log messages and callers compare against.
namespace WaitResult {
/// The object was signalled (the event was set, the lock is now held).
inline constexpr int Signalled = 0;
/// The previous holder of the lock ended without releasing it; the lock is now held.
inline constexpr int Abandoned = 128;
/// The time-out elapsed first.
inline constexpr int Timeout = 258;
/// The wait itself failed.
inline constexpr int Failed = -1;
/// Pass as time-out to wait without limit.
inline constexpr int Infinite = -1;
} // namespace WaitResult

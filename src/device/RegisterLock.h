// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <mutex>

/// The one process-wide lock over all device data: the register image, the
/// main panel's live values and the feature windows' decoded records. It is
/// re-entrant: the sender thread holds it while a UDP answer is decoded on the
/// same thread.
using RegisterLock = std::recursive_mutex;
using RegisterLockGuard = std::lock_guard<RegisterLock>;

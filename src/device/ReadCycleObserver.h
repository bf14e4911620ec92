// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReceivedValues.h"

class QLMCIPMotor;

#include <cstdint>

/// Hears every decoded live read cycle (an answer that carried the position,
/// 0x26). Registered with QLMCSession::addReadCycleObserver by whoever owns the
/// session (the recorder of the main window, the command-line tool or a test).
class ReadCycleObserver
{
public:
    virtual ~ReadCycleObserver() = default;
    /// Called by the decoder while it holds the RegisterLock, on the thread
    /// that decodes (user interface or sender): must return at once, never
    /// wait. \a ticks is HighResCounter::now() at decode; \a image tells
    /// which registers were received in this connection.
    virtual void readCycleDecoded(const ReceivedValues &values, int64_t ticks,
                                  const QLMCIPMotor &image) = 0;
};

#pragma once

#include "device/ReceivedValues.h"

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
    /// wait. \a ticks is HighResCounter::now() at decode.
    virtual void readCycleDecoded(const ReceivedValues &values, int64_t ticks) = 0;
};

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "features/LimitRegisters.h"

#include <array>
#include <cstdint>

class QLMCSession;

/// The limits window's state over the session: which limit is shown, and the
/// routing of every control change into that limit's record only. Every access
/// to the record takes the RegisterLock (the decoder writes it, on the sender
/// thread in UDP mode).
class LimitsModel
{
public:
    explicit LimitsModel(QLMCSession &session);

    /// 0 for "Limit 1 [home]", 1 for "Limit 2".
    int shownLimit() const { return m_shown; }
    void showLimit(int limit) { m_shown = limit == 1 ? 1 : 0; }

    /// A copy of limit \a limit's record, taken under the lock.
    LimitSettings settings(int limit) const;
    LimitSettings shown() const { return settings(m_shown); }

    // Control changes; each changes only the shown limit's record.
    void setSetupBit(uint32_t mask, bool on);
    void setXInputItem(int item);
    void setControlMode(int mode);
    void setPosition(int32_t position);
    void setXInput(int32_t value);

    /// Read requests for all eight limit registers in one hold of the lock,
    /// then the option register (for the bit-5 box).
    void requestRead();
    /// "Write": reads the shown limit's record and requests its four writes in
    /// one hold of the lock, so a decoder on another thread cannot mix in a
    /// half-updated record, and with them the read-back of the same four
    /// registers (the sender reads a register only after its pending write
    /// went out). Returns the session's answer count before the requests, for
    /// readBackArrived().
    uint64_t write();
    /// True once all four registers of \a limit arrived in answers numbered
    /// above \a noted (the read-back of a write()).
    bool readBackArrived(int limit, uint64_t noted) const;

    /// For each of the shown limit's four lines: true when the value the
    /// window holds differs from the register's last received bytes (what
    /// "Write" will change).
    std::array<bool, 4> changedLines() const;

    /// The present limit warnings (0x08 bits 14 and 16) of the last read.
    std::array<bool, 2> limitWarnings() const;
    /// Asks for the warning register (the lamps poll it while visible).
    void requestWarnings();

private:
    template<typename F>
    void change(F &&f);

    QLMCSession &m_session;
    int m_shown = 0;
};

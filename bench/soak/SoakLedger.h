// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Bookkeeping of the soak: the tool's counters summed over every reopen, what
// the virtual controller saw and did, and the check that they add up.

#include "sim/SimRequestLog.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

class QLMCSession;

/// The faults the soak cycles through.
enum class SoakFault {
    None,
    Drop,
    Delay,
    Corrupt,
    Split,
    Merge,
    Garbage,
    Oversize,
    Malformed,
    CloseAfter,
    Count
};
const char *soakFaultName(SoakFault fault);

/// What the virtual controllers recorded (their log callback, any thread).
class WireCounter
{
public:
    /// The faults named on answers, by SoakFault index (CloseAfter: closes seen by the tool).
    std::array<std::atomic<uint64_t>, size_t(SoakFault::Count)> faults{};
    std::atomic<uint64_t> requests{0};
    std::atomic<uint64_t> answers{0};

    void record(const SimWireEvent &event);
    uint64_t faultsInjected() const;
    /// Answers dropped or damaged (every fault but delay and close-after).
    uint64_t damaged() const;
    /// Of these, answers whose header was replaced (garbage, oversize, malformed).
    uint64_t reframed() const;
};

/// The tool's counters at one moment, summed over every reopen.
struct ToolCounts
{
    int64_t reads = 0;
    int64_t writes = 0;
    int64_t decoded = 0;
    /// Frames refused by their checksum or size check: one per damaged answer.
    int64_t checksumErrors = 0;
    /// UDP datagrams that were not one whole frame: every piece of a split
    /// answer, two answers merged into one. Their answers count as lost (a
    /// split answer is one answer lost, not one error per piece).
    int64_t datagramsDropped = 0;
    int64_t acknowledgeErrors = 0; ///< "(ACK)": decoded answers with a wrong acknowledge
    /// Answers that came after their request was given up (not decoded).
    int64_t late = 0;
    int64_t sent() const { return reads + writes; }
    /// Requests neither answered in time, nor answered late, nor refused by a
    /// checksum error: the lost ones.
    int64_t unaccounted() const { return sent() - decoded - checksumErrors - late; }

    ToolCounts operator-(const ToolCounts &start) const;
};

/// Sums the session's counters over the connection's reopens (each open clears them).
class ToolLedger
{
public:
    explicit ToolLedger(QLMCSession &session)
        : m_session(session)
    {}
    /// The connection went away: its counters join the sum, and the session's
    /// own stay out of it until the next open clears them.
    void fold();
    /// A new connection is established (its counters were just cleared).
    void opened() { m_live = true; }
    ToolCounts now() const;

private:
    ToolCounts live() const;

    QLMCSession &m_session;
    ToolCounts m_base;
    bool m_live = false;
};

/// The counters at one end of a phase.
struct PhaseMark
{
    ToolCounts tool;
    uint64_t simRequests = 0;
    uint64_t damaged = 0;
    uint64_t reframed = 0;
    int reopens = 0;

    static PhaseMark take(const ToolLedger &ledger, const WireCounter &wire, int reopens);
};

/// One phase of the soak, from its start to its settled end.
struct PhaseCheck
{
    SoakFault fault = SoakFault::None;
    ToolCounts tool;        ///< differences over the phase
    uint64_t simRequests = 0;
    uint64_t damaged = 0;   ///< answers dropped or damaged by the virtual controller
    uint64_t reframed = 0;  ///< of these, answers whose header was replaced (garbage,
                            ///< oversize, malformed)
    int reopens = 0;

    /// The phase of \a fault from \a start to \a end.
    static PhaseCheck between(SoakFault fault, const PhaseMark &start, const PhaseMark &end);
    /// Empty when the counters add up, else the reason.
    std::string verdict() const;
};

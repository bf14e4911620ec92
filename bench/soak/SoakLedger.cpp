// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SoakLedger.h"

#include "device/QLMCSession.h"

#include <cstdlib>

const char *soakFaultName(SoakFault fault)
{
    static const char *const names[] = {"none",    "drop",    "delay",    "corrupt",   "split",
                                        "merge",   "garbage", "oversize", "malformed", "close-after"};
    return names[size_t(fault)];
}

void WireCounter::record(const SimWireEvent &event)
{
    switch (event.kind) {
    case SimWireEvent::Kind::Request:
        ++requests;
        return;
    case SimWireEvent::Kind::Dropped:
        ++faults[size_t(SoakFault::Drop)];
        return;
    case SimWireEvent::Kind::Answer:
        ++answers;
        break;
    default:
        return;
    }
    // The answer's note names the faults applied to it ("delay 40 ms corrupt").
    for (SoakFault fault : {SoakFault::Delay, SoakFault::Corrupt, SoakFault::Split,
                            SoakFault::Merge, SoakFault::Garbage, SoakFault::Oversize,
                            SoakFault::Malformed})
        if (event.note.find(soakFaultName(fault)) != std::string::npos)
            ++faults[size_t(fault)];
}

uint64_t WireCounter::faultsInjected() const
{
    uint64_t sum = 0;
    for (const auto &count : faults)
        sum += count.load();
    return sum;
}

uint64_t WireCounter::damaged() const
{
    uint64_t sum = 0;
    for (SoakFault f : {SoakFault::Drop, SoakFault::Corrupt, SoakFault::Split, SoakFault::Merge,
                        SoakFault::Garbage, SoakFault::Oversize, SoakFault::Malformed})
        sum += faults[size_t(f)].load();
    return sum;
}

uint64_t WireCounter::reframed() const
{
    return faults[size_t(SoakFault::Garbage)].load() + faults[size_t(SoakFault::Oversize)].load()
           + faults[size_t(SoakFault::Malformed)].load();
}

ToolCounts ToolCounts::operator-(const ToolCounts &start) const
{
    ToolCounts d;
    d.reads = reads - start.reads;
    d.writes = writes - start.writes;
    d.decoded = decoded - start.decoded;
    d.checksumErrors = checksumErrors - start.checksumErrors;
    d.datagramsDropped = datagramsDropped - start.datagramsDropped;
    d.acknowledgeErrors = acknowledgeErrors - start.acknowledgeErrors;
    d.late = late - start.late;
    return d;
}

ToolCounts ToolLedger::live() const
{
    ToolCounts c;
    if (!m_live)
        return c;
    const CommStatistics &s = m_session.statistics();
    c.reads = s.readRequestsSent.load();
    c.writes = s.writeRequestsSent.load();
    c.decoded = s.answersDecoded.load();
    // The session counts a dropped datagram among its checksum errors too;
    // here it is one piece of an answer that counts as lost.
    c.datagramsDropped = s.datagramsDropped.load();
    c.checksumErrors = s.checksumErrors.load() - c.datagramsDropped;
    c.late = s.lateAnswers.load();
    c.acknowledgeErrors = s.acknowledgeErrors.load();
    return c;
}

void ToolLedger::fold()
{
    const ToolCounts c = live();
    m_base.reads += c.reads;
    m_base.writes += c.writes;
    m_base.decoded += c.decoded;
    m_base.checksumErrors += c.checksumErrors;
    m_base.datagramsDropped += c.datagramsDropped;
    m_base.late += c.late;
    m_base.acknowledgeErrors += c.acknowledgeErrors;
    m_live = false;
}

ToolCounts ToolLedger::now() const
{
    ToolCounts c = live();
    c.reads += m_base.reads;
    c.writes += m_base.writes;
    c.decoded += m_base.decoded;
    c.checksumErrors += m_base.checksumErrors;
    c.datagramsDropped += m_base.datagramsDropped;
    c.late += m_base.late;
    c.acknowledgeErrors += m_base.acknowledgeErrors;
    return c;
}

PhaseMark PhaseMark::take(const ToolLedger &ledger, const WireCounter &wire, int reopens)
{
    PhaseMark mark;
    mark.tool = ledger.now();
    mark.simRequests = wire.requests.load();
    mark.damaged = wire.damaged();
    mark.reframed = wire.reframed();
    mark.reopens = reopens;
    return mark;
}

PhaseCheck PhaseCheck::between(SoakFault fault, const PhaseMark &start, const PhaseMark &end)
{
    PhaseCheck check;
    check.fault = fault;
    check.tool = end.tool - start.tool;
    check.simRequests = end.simRequests - start.simRequests;
    check.damaged = end.damaged - start.damaged;
    check.reframed = end.reframed - start.reframed;
    check.reopens = end.reopens - start.reopens;
    return check;
}

std::string PhaseCheck::verdict() const
{
    // Each end of the phase may catch one request in flight; each reopen may
    // lose the one in flight and an answer the merge fault held back.
    const int64_t inFlight = 2 + 2 * int64_t(reopens);
    const int64_t sent = tool.sent();
    if (std::llabs(sent - int64_t(simRequests)) > inFlight)
        return "requests sent " + std::to_string(sent) + " but the controller received "
               + std::to_string(simRequests);
    const int64_t lost = tool.unaccounted();
    // A damaged answer can take the next one in its chunk or stream with it. A
    // damaged header takes every answer until the length it announces is
    // reached (the reassembly does not start afresh after an answer time-out),
    // up to a payload's 1000 bytes. If acknowledge errors ever stop counting
    // as decoded answers they add here.
    const int64_t allowed =
        inFlight + 2 * int64_t(damaged) + 24 * int64_t(reframed) + tool.acknowledgeErrors;
    if (lost < -inFlight || lost > allowed)
        return "requests " + std::to_string(sent) + " != answers "
               + std::to_string(tool.decoded) + " + checksum errors "
               + std::to_string(tool.checksumErrors) + " + late " + std::to_string(tool.late)
               + " + lost " + std::to_string(lost)
               + " (allowed 0.." + std::to_string(allowed) + "; dropped datagrams "
               + std::to_string(tool.datagramsDropped) + ")";
    if (fault == SoakFault::None && (tool.checksumErrors != 0 || tool.datagramsDropped != 0))
        return std::to_string(tool.checksumErrors) + " checksum errors and "
               + std::to_string(tool.datagramsDropped) + " dropped datagrams on a clean link";
    return {};
}

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimHoming.h"

#include <algorithm>
#include <cmath>

namespace {

// The ratio lists of the homing options, in percent (the time limit list is
// read as seconds).
constexpr double Ratios[16] = {2, 3, 4, 6, 9, 12, 18, 25, 37.5, 50, 75, 100, 150, 200, 300, 400};

// Current above this share of the homing current limit, held this long, means
// the motor pushes against the end stop.
constexpr double CurrentShare = 0.9;
constexpr double CurrentHoldSeconds = 0.02;

} // namespace

double SimHoming::ratioPercent(int index)
{
    return Ratios[std::clamp(index, 0, 15)];
}

void SimHoming::start(const Setup &setup, double position)
{
    m_setup = setup;
    m_phase = 0;
    m_elapsed = 0;
    m_highCurrentTime = 0;
    m_eventPosition = position;
    const uint32_t o = setup.options;
    m_currentLimit = setup.currentMax * ratioPercent(int((o >> 8) & 0x0F)) / 100.0;
    m_speed = std::max(1.0, std::abs(setup.topSpeed) * ratioPercent(int((o >> 12) & 0x0F)) / 100.0);
    m_acceleration =
        std::max(1.0, std::abs(setup.acceleration) * ratioPercent(int((o >> 16) & 0x0F)) / 100.0);
    m_timeLimit = ratioPercent(int((o >> 20) & 0x0F));

    using S = Search;
    switch (type(o)) {
    case 0:
    case 1:
        m_phases = {};
        break;
    case 2:
        m_phases = {{{S::Index, -1}, {}}};
        break;
    case 3:
        m_phases = {{{S::Index, +1}, {}}};
        break;
    case 4:
        m_phases = {{{S::Current, -1}, {}}};
        break;
    case 5:
        m_phases = {{{S::Current, +1}, {}}};
        break;
    case 6:
        m_phases = {{{S::Current, -1}, {S::Index, +1}}};
        break;
    case 7:
        m_phases = {{{S::Current, +1}, {S::Index, -1}}};
        break;
    case 8:
        m_phases = {{{S::Limit1, -1}, {}}};
        break;
    case 9:
        m_phases = {{{S::Limit1, +1}, {}}};
        break;
    case 10:
        m_phases = {{{S::Limit1, -1}, {S::Index, +1}}};
        break;
    case 11:
        m_phases = {{{S::Limit1, +1}, {S::Index, -1}}};
        break;
    case 12:
        m_phases = {{{S::MoveTo, 0}, {}}};
        break;
    case 13:
        m_phases = {{{S::MoveTo, 0}, {S::Limit1, -1}}};
        break;
    default:
        m_phases = {{{S::None, -1}, {}}}; // no such homing type: fails at once
        break;
    }
    m_active = true;
}

SimHoming::Search SimHoming::search() const
{
    return m_active && m_phase < int(m_phases.size()) ? m_phases[size_t(m_phase)].search
                                                      : Search::None;
}

int SimHoming::direction() const
{
    return m_active && m_phase < int(m_phases.size()) ? m_phases[size_t(m_phase)].direction : 0;
}

SimHoming::Result SimHoming::observe(const Observation &o)
{
    if (!m_active)
        return Result::Failed;
    const Phase phase = m_phases[size_t(m_phase)];
    if (m_phase == 0 && phase.search == Search::None) {
        m_active = false;
        if (phase.direction != 0)
            return Result::Failed;
        m_eventPosition = o.position; // already at home
        return Result::Found;
    }
    m_elapsed += o.dt;
    bool event = false;
    double at = o.position;
    switch (phase.search) {
    case Search::Index: {
        const double p = m_setup.pulsesPerIndex > 0 ? m_setup.pulsesPerIndex : 2000.0;
        const double before = std::floor(o.previousPhysical / p);
        const double after = std::floor(o.physical / p);
        if (before != after && (o.physical - o.previousPhysical) * phase.direction > 0) {
            const double mark = std::max(before, after) * p;
            at = o.position - (o.physical - mark);
            event = true;
        }
        break;
    }
    case Search::Current:
        m_highCurrentTime =
            std::abs(o.current) >= CurrentShare * m_currentLimit ? m_highCurrentTime + o.dt : 0.0;
        event = m_highCurrentTime >= CurrentHoldSeconds;
        break;
    case Search::Limit1:
        event = o.limit1Active;
        break;
    case Search::MoveTo:
        event = o.setPointAtRest && m_elapsed > o.dt;
        break;
    case Search::None:
        break;
    }
    if (event) {
        m_eventPosition = at;
        m_highCurrentTime = 0;
        ++m_phase;
        if (m_phase >= int(m_phases.size()) || m_phases[size_t(m_phase)].search == Search::None) {
            m_active = false;
            return Result::Found;
        }
        return Result::Running;
    }
    if (m_elapsed > m_timeLimit) {
        m_active = false;
        return Result::Failed;
    }
    return Result::Running;
}

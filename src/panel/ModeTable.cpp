// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/ModeTable.h"

namespace {

using Mode = RegulationMode;
using Range = ConsignRangeKind;
using Axis = PositionAxisRule;

const std::array<ModeInfo, RegulationModeCount> Modes{{
    {Mode::DriverStop, "RBDrvStop", "Driver Stop", 0, "0x21-Input", u"0x21-Input", 0,
     Range::Unchanged, Axis::Automatic},
    {Mode::DriverOpen, "RBDrvOpen", "Driver Open", 1, "0x21-Input", u"0x21-Input", 0,
     Range::Unchanged, Axis::Automatic},
    {Mode::OpenLoop, "RBOpenLoop", "Open Loop", 2, "0x21-Input (PWM Consign)",
     u"0x21-Input (PWM Consign)", 0, Range::OpenLoop, Axis::Automatic},
    {Mode::WaitMode, "RBWaitMode", "Wait mode", 3, "0x21-Input", u"0x21-Input", 0, Range::Unchanged,
     Axis::FixedToRange},
    // Speed trajectory: the gains, feed-forward terms, anti-reset windup and acceleration.
    {Mode::SpeedTraj, "RBSpePID", "Speed traj.", 4, "0x21-Input (Speed Consign [p/s])",
     u"0x21-Input (Speed Consign [\u00B5Step/s])", 9, Range::Speed, Axis::Automatic},
    {Mode::PositionTraj, "RBTraj", "Position traj.", 5, "0x21-Input (Position Consign [p])",
     u"0x21-Input (Position Consign [\u00B5Step])", RegulationParameterCount, Range::Position,
     Axis::FixedToRange},
    {Mode::Standby, "RBStandBy", "Standby", 6, "0x21-Input (Standby)", u"0x21-Input (Standby)", 0,
     Range::Position, Axis::Unchanged},
}};

} // namespace

QString ModeInfo::inputGroupCaption(bool stepperUnits) const
{
    return stepperUnits ? QString::fromUtf16(stepperInputCaption)
                        : QString::fromLatin1(inputCaption);
}

const std::array<ModeInfo, RegulationModeCount> &modeTable()
{
    return Modes;
}

const ModeInfo &modeInfo(RegulationMode mode)
{
    return Modes[static_cast<size_t>(mode)];
}

std::optional<RegulationMode> modeForValue(int32_t value)
{
    if (value < 0 || value >= RegulationModeCount)
        return std::nullopt;
    return static_cast<RegulationMode>(value);
}

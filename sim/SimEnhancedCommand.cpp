// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimEnhancedCommand.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int PositionMode = 5;
constexpr int SpeedMode = 4;
constexpr int WaitMode = 3;

enum Command : int {
    ShortestWay = 101,
    FirstPositive = 102,
    FirstNegative = 103,
    SameDirectionShortest = 104,
    SameDirectionPositive = 105,
    SameDirectionNegative = 106,
    BrakeAndCopy = 107,
    AddOffset = 108,
    OffsetPlusPosition = 109,
    InfinitePositive = 110,
    InfiniteNegative = 111,
    RangePosition = 112,
    RangePositionInput = 113,
    RangePositionInputRest = 114,
    RangeNextGoal = 115,
};

} // namespace

SimEnhancedAction SimEnhancedCommand::decode(std::span<const uint8_t> bytes, double position,
                                             double speed, double input, double pulsesPerLoop)
{
    SimEnhancedAction action;
    if (bytes.size() < 6)
        return action;
    const uint8_t options = bytes[0];
    const int function = int(int8_t(bytes[1]));
    const uint32_t raw = (uint32_t(bytes[2]) << 24) | (uint32_t(bytes[3]) << 16)
                         | (uint32_t(bytes[4]) << 8) | bytes[5];
    const double loop = pulsesPerLoop >= 1.0 ? pulsesPerLoop : 1.0;
    action.peakCurrent = options & OptionPeakCurrent;
    const bool absolute = options & OptionAbsolute;

    // In percent, byte B3 is the sign and B2..B0 the share of one loop
    // (0xFFFFFF = 100 %).
    double goal = double(int32_t(raw));
    if (options & OptionPercent) {
        goal = double(raw & 0xFFFFFF) / 16777215.0 * loop;
        if (raw >> 24)
            goal = -goal;
    }

    const double base = std::floor(position / loop) * loop;
    const double here = base + goal;
    auto nearest = [&] {
        double best = here;
        for (const double c : {here - loop, here + loop}) {
            if (std::abs(c - position) < std::abs(best - position))
                best = c;
        }
        return best;
    };
    auto firstPositive = [&] { return here >= position ? here : here + loop; };
    auto firstNegative = [&] { return here <= position ? here : here - loop; };
    auto moveTo = [&](double target) {
        action.mode = PositionMode;
        action.input = target;
    };

    if (function >= -100 && function <= 100) {
        moveTo(absolute ? goal : here + function * loop);
        return action;
    }
    const bool stopped = std::abs(speed) < 1.0;
    switch (function) {
    case ShortestWay:
        moveTo(absolute ? goal : nearest());
        break;
    case FirstPositive:
        moveTo(absolute ? goal : firstPositive());
        break;
    case FirstNegative:
        moveTo(absolute ? goal : firstNegative());
        break;
    case SameDirectionShortest:
    case SameDirectionPositive:
    case SameDirectionNegative:
        if (absolute)
            moveTo(goal);
        else if (!stopped)
            moveTo(speed > 0 ? firstPositive() : firstNegative());
        else if (function == SameDirectionShortest)
            moveTo(nearest());
        else
            moveTo(function == SameDirectionPositive ? firstPositive() : firstNegative());
        break;
    case BrakeAndCopy:
        action.mode = WaitMode;
        action.brakeThenCopy = true;
        break;
    case AddOffset:
        moveTo(input + goal);
        break;
    case OffsetPlusPosition:
        moveTo(position + goal);
        break;
    case InfinitePositive:
        action.mode = SpeedMode;
        action.input = std::abs(goal);
        break;
    case InfiniteNegative:
        action.mode = SpeedMode;
        action.input = -std::abs(goal);
        break;
    case RangePosition:
        action.positionShift = -base;
        break;
    case RangePositionInput:
    case RangePositionInputRest:
        action.positionShift = -base;
        action.shiftInput = true;
        break;
    case RangeNextGoal:
        action.positionShift = -base;
        moveTo(goal);
        break;
    default:
        break; // reserved and unknown functions do nothing
    }
    return action;
}

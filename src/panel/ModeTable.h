// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "panel/RegulationParameter.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

/// The regulation modes of register 0x20, by value.
enum class RegulationMode : uint8_t {
    DriverStop = 0,
    DriverOpen = 1,
    OpenLoop = 2,
    WaitMode = 3,
    SpeedTraj = 4,
    PositionTraj = 5,
    Standby = 6,
};

inline constexpr int RegulationModeCount = 7;

/// Which consign range a mode uses.
enum class ConsignRangeKind : uint8_t {
    Unchanged, ///< the mode keeps ConsignMin .. ConsignMax as they are
    OpenLoop,  ///< first use -65536 .. 65536
    Speed,     ///< first use -SpeedMax .. SpeedMax
    Position,  ///< first use the input limits 0x24 .. 0x25
};

/// What a mode does to the position chart's vertical axis.
enum class PositionAxisRule : uint8_t {
    Automatic,    ///< automatic scaling
    FixedToRange, ///< manual, ConsignMin .. ConsignMax
    Unchanged,
};

/// One mode button of the "0x20-Regul. mode" group.
struct ModeInfo
{
    RegulationMode mode;
    const char *buttonName; ///< objectName of the radio button
    const char *caption;
    int value;                           ///< written to 0x20 (one byte)
    const char *inputCaption;            ///< caption of the input group
    const char16_t *stepperInputCaption; ///< caption with StepperUnits
    int redTitleCount;                   ///< the first n parameter titles (panel order) are red
    ConsignRangeKind range;
    PositionAxisRule positionAxis;

    /// The input group caption for this mode.
    QString inputGroupCaption(bool stepperUnits) const;
    /// True when the title of \a id is shown in red in this mode.
    bool isTitleRed(RegulationParameterId id) const { return indexOf(id) < redTitleCount; }
};

/// The seven modes, indexed by value.
const std::array<ModeInfo, RegulationModeCount> &modeTable();

/// The row of \a mode.
const ModeInfo &modeInfo(RegulationMode mode);

/// The mode of a received 0x20 value; nullopt (no button changes) outside 0..6.
std::optional<RegulationMode> modeForValue(int32_t value);

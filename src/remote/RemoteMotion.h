// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class QLMCSession;

/// The wavelength remote's writes, each judged by the register rule book.
/// Every function returns the rule book's one-line reason when it refused the
/// write (nothing was requested then), else nullopt. The remote's Stop is a
/// driver stop and never passes here.
namespace RemoteMotion {

/// A preset selected in the list: 0x4C "Homing input" = its position (pulses).
std::optional<QString> presetHomingInput(QLMCSession &session, int32_t position);
/// "GO": 0x21 "Input" = the preset's position (pulses).
std::optional<QString> goToPreset(QLMCSession &session, int32_t position);
/// "HOME+GO": the homing start command 0x49 (no value).
std::optional<QString> goHome(QLMCSession &session);
/// "+" / "-" of the adjustment: 0x22 "Input offset" = \a pulses.
std::optional<QString> adjust(QLMCSession &session, int32_t pulses);

} // namespace RemoteMotion

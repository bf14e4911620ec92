// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "remote/RemoteMotion.h"

#include "device/QLMCSession.h"
#include "device/RegisterRules.h"

namespace RemoteMotion {

namespace {

std::optional<QString> request(QLMCSession &session, const RegisterWrite &write,
                               const char *function)
{
    return RegisterRules::requestExplained(session, {&write, 1}, function, "Remote");
}

} // namespace

std::optional<QString> presetHomingInput(QLMCSession &session, int32_t position)
{
    return request(session, RegisterRules::write(Reg::HomingInput, position),
                   "RemoteMotion::presetHomingInput");
}

std::optional<QString> goToPreset(QLMCSession &session, int32_t position)
{
    return request(session, RegisterRules::write(Reg::Input, position),
                   "RemoteMotion::goToPreset");
}

std::optional<QString> goHome(QLMCSession &session)
{
    return request(session, {Reg::HomingStart, {}}, "RemoteMotion::goHome");
}

std::optional<QString> adjust(QLMCSession &session, int32_t pulses)
{
    return request(session, RegisterRules::write(Reg::InputOffset, pulses),
                   "RemoteMotion::adjust");
}

} // namespace RemoteMotion

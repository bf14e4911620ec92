// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/DriverStop.h"

#include "device/QLMCSession.h"
#include "panel/ConsignModel.h"
#include "panel/TThreadInputTimer.h"

bool driverStop(QLMCSession &session, ConsignModel &consign, TThreadInputTimer &autoChange)
{
    // The write first: it is what stops the motor, and it does not wait.
    const bool queued = session.requestDriverStop();
    session.ModeSync = false;
    consign.selectAutoChange(AutoChange::No);
    autoChange.suspend();
    return queued;
}

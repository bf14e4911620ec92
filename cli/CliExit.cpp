// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/CliExit.h"

namespace CliExit {

std::span<const Meaning> meanings()
{
    static constexpr Meaning table[] = {
        {Ok, "success"},
        {Usage, "usage: a wrong command line or a value that cannot be parsed"},
        {LinkLost, "connection refused or lost (no route, closed, reset, a controller sending "
                   "more than its answers could hold); nothing after the loss is reported as "
                   "read, written, sent or saved"},
        {Unanswered, "registers unanswered or time-out"},
        {DeviceRefused, "device type refused"},
        {ValueRefused, "register not granted on this model or value refused"},
        {BadFile, "bad or unreadable file, file not written, auto-tuning error result"},
        {Differs, "the device did not take what was written (the read-back differs) or "
                  "differs from the file"},
        {NotSettled, "the step response did not settle within the time limit"},
        {SomeFailed, "over many controllers (fleet): some failed; each row says which and why"},
    };
    return table;
}

} // namespace CliExit

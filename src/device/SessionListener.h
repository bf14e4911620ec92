// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReceivedValues.h"

#include <QString>

#include <cstdint>
#include <vector>

/// What the session tells the windows (or the command-line tool, or a test).
///
/// Calls may come from the user-interface thread (TCP answers) or from the
/// sender thread (UDP answers); the window implementation hands them to the
/// user-interface thread with queued calls. None is made while the
/// RegisterLock is held by the notifying code.
class SessionListener
{
public:
    /// Feature windows whose one-shot display timer the decoder starts.
    enum class Display {
        Options,
        AutoTuning,
        Calibration,
        EnhancedCmd,
        EnhancedRangeConfig,
        EnhancedParam
    };
    /// Values that answers set straight into window controls.
    enum class DirectValue {
        TcpWatchdog,
        DeviceName,
        CurrentMax,
        OutputVoltageMax,
        DissipationVoltage
    };
    /// Communication errors the status bar counts in panel 3.
    enum class CommError {
        Checksum,   ///< " (CS)": a frame refused by checksum or size
        Acknowledge ///< " (ACK)": a gateway answer without the module's acknowledge
    };

    virtual ~SessionListener() = default;

    /// Enable the main window's display timer (the display routine then runs once).
    virtual void armMainDisplay() {}
    /// Start the display timer of a feature window.
    virtual void startWindowDisplay(Display window) {}
    /// A value that goes straight into controls arrived (read it from the records).
    virtual void directValueReceived(DirectValue value) {}
    /// 0x5B arrived: the limits window refreshes all its controls; a parameter
    /// file waiting for its read-back may now be written.
    virtual void limitsReceived() {}
    /// Type and Version arrived in one answer: run the identification.
    virtual void identificationReady() {}
    /// New text for a panel of the main window's status bar.
    virtual void statusText(int panel, const QString &text) {}
    /// A communication error was counted (its panel 3 text follows as statusText).
    virtual void communicationError(CommError kind) {}
    /// One answer decoded register data while graphs are on: add this sample,
    /// decoded at \a ticks (HighResCounter::now()).
    virtual void graphSample(const ReceivedValues &values, int64_t ticks) {}
    /// The gateway answered a bus scan with these module addresses.
    virtual void scanResult(const std::vector<uint8_t> &modules) {}
};

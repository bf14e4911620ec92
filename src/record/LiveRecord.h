// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReceivedValues.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

struct ModelProfile;

/// One polled read cycle as the decoder stored it: the counter time of the
/// decode and the values of the main window's read-outs and charts.
struct LiveSample
{
    int64_t ticks = 0; ///< HighResCounter::now() at decode
    int32_t position = 0;
    int32_t speed = 0;
    int32_t desired = 0;
    int32_t input = 0;
    int32_t command = 0;
    int32_t regulationMode = 0;
    float current = 0; ///< CurrentLive (8.8)
    float voltage = 0;
    float temperature = 0;
    /// The recorded registers (RegisterMissing bits) that were not received in
    /// this connection; their fields are left empty.
    uint16_t missing = 0;

    /// Bits of \c missing, one per recorded register.
    enum RegisterMissing : uint16_t {
        PositionMissing = 1 << 0,
        SpeedMissing = 1 << 1,
        DesiredMissing = 1 << 2,
        InputMissing = 1 << 3,
        CommandMissing = 1 << 4,
        ModeMissing = 1 << 5,
        CurrentMissing = 1 << 6,
        VoltageMissing = 1 << 7,
        TemperatureMissing = 1 << 8,
    };

    /// A sample of \a values; \a received(address) tells whether that
    /// register was received in this connection (all are, without it).
    static LiveSample from(const ReceivedValues &values, int64_t ticks,
                           const std::function<bool(int address)> &received = {});
};

/// The column titles of a recording: the read-out titles of the identified
/// model (steppers show micro-steps, their third read-out is Position / 256).
struct RecordUnits
{
    QString position = QStringLiteral("0x26-Position [p]");
    QString speed = QStringLiteral("0x28-Speed [p/s]");
    QString desired = QStringLiteral("0x30-Desired state [p/s]");
    bool stepperUnits = false;

    /// The titles and units the main window shows for \a profile.
    static RecordUnits from(const ModelProfile &profile);
};

/// The text of a recording: comma-separated lines, '.' as decimal point
/// whatever the locale, UTF-8 (with a byte-order mark, so that spreadsheets
/// read the unit signs). Columns: time in ms since the start, position, speed,
/// desired state (a stepper: Position / 256), input, command in percent of
/// 65535, live current, voltage, temperature and the regulation mode's caption.
namespace LiveRecordFormat {

inline constexpr int ColumnCount = 10;

/// The first line (with the byte-order mark and the line end).
QByteArray header(const RecordUnits &units);
/// One line for \a sample, \a elapsedMs after the start (with the line end).
QByteArray line(const LiveSample &sample, double elapsedMs, bool stepperUnits);
/// The closing line: lines written and lines dropped (with the line end).
QByteArray trailer(int64_t lines, int64_t dropped);
/// The caption of regulation mode \a value ("Speed traj."), its number when unknown.
QString modeCaption(int32_t value);

} // namespace LiveRecordFormat

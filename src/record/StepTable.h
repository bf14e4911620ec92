// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "record/StepWatch.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

/// The "Step responses" table as data: its columns, the text of each cell
/// (with the change against a pinned reference row) and its CSV export.
namespace StepTable {

enum Column : int {
    Number,
    Mode,
    From,
    To,
    Rise,
    Overshoot,
    Settling,
    SteadyStateError,
    FollowingError,
    PeakCurrent,
    Trajectory,
    Kp,
    Ki,
    Kd,
    Kvff,
    Kaff,
    Kdff,
    Acceleration,
    Deceleration,
    TopSpeed,
    ColumnCount
};

QString title(int column);
/// The number in \a column of \a row; empty when the device did not send what
/// it rests on, or the response did not settle (a figure never made up).
std::optional<double> value(const StepRecord &row, int column);
/// The cell: the value ("-" when empty; the settling column says why a
/// response has none), and, when \a reference is another row, the change
/// against it ("0.120 (-0.030)").
QString cellText(const StepRecord &row, int column, const StepRecord *reference = nullptr);
/// All rows: a title line, then one line per row with the values (no changes)
/// and a last column "Reference" that marks the pinned row.
QByteArray csv(const std::vector<StepRecord> &rows, int referenceNumber = 0);

} // namespace StepTable

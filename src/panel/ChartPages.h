// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReceivedValues.h"

#include <QString>

#include <vector>

/// The main window's live charts as data: the series each one plots from a
/// sample of the live values, for exports made without the window.
namespace ChartPages {

/// Every chart's time axis: seconds relative to the newest sample.
inline const QString TimeTitle = QStringLiteral("Time [s]");
/// Times are given to the millisecond.
inline constexpr int TimeDecimals = 3;

struct Page
{
    QString name;      ///< command-line name: position, speed, command, current, micrometres
    std::vector<QString> titles; ///< series titles, in series order
    std::vector<int> registers;  ///< the registers its series come from
};

enum PageIndex : int { Position, Speed, Command, Current, Micrometres };

const std::vector<Page> &pages();
/// The value axis title of page \a page with the unit of its values: pulses,
/// or micro-steps for a stepper (\a stepperUnits), per second, %, A, um.
QString valueTitle(int page, bool stepperUnits);
/// The index of the page called \a name, or -1.
int find(const QString &name);
/// The points that one sample adds to the series of page \a page, in series order.
std::vector<double> sample(int page, const ReceivedValues &values, float pulsesPerMicrometre);

} // namespace ChartPages

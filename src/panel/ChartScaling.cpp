// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/ChartScaling.h"

#include <algorithm>
#include <cmath>

namespace {

using Lock = std::lock_guard<std::mutex>;

constexpr double MarginRatio = 0.05;
constexpr double SpeedResetHalfSpan = 20;
constexpr double CurrentResetMargin = 0.1;
constexpr double FullCommand = 65535;

} // namespace

ChartScaling::ChartScaling() = default;

ChartScaling::Widened ChartScaling::addSample(const ReceivedValues &values)
{
    Lock lock(m_mutex);
    Widened widened;

    // The speed axis follows the present sample.
    m_speedMaxSeen = std::max(m_speedMaxSeen, values.Speed);
    m_speedMinSeen = std::min(m_speedMinSeen, values.Speed);
    const double spread = double(int64_t(m_speedMaxSeen) - int64_t(m_speedMinSeen));
    const double m = std::fabs(std::trunc(spread * MarginRatio));
    if (values.Speed + m > m_speedAxis.maximum) {
        m_speedAxis.maximum = values.Speed + m;
        widened.speedAxis = true;
    }
    if (values.Speed - m < m_speedAxis.minimum) {
        m_speedAxis.minimum = values.Speed - m;
        widened.speedAxis = true;
    }

    // The current axis follows the extremes.
    m_currentMaxSeen = std::max(m_currentMaxSeen, values.CurrentMax);
    m_currentMinSeen = std::min(m_currentMinSeen, values.CurrentMin);
    const double c = std::fabs((double(m_currentMaxSeen) - double(m_currentMinSeen)) * MarginRatio);
    if (m_currentMaxSeen + c > m_currentAxis.maximum) {
        m_currentAxis.maximum = m_currentMaxSeen + c;
        widened.currentAxis = true;
    }
    if (m_currentMinSeen - c < m_currentAxis.minimum) {
        m_currentAxis.minimum = m_currentMinSeen - c;
        widened.currentAxis = true;
    }
    return widened;
}

void ChartScaling::resetExtremes(const ReceivedValues &displayed)
{
    Lock lock(m_mutex);
    resetExtremesLocked(displayed);
}

void ChartScaling::resetExtremesLocked(const ReceivedValues &displayed)
{
    m_speedMaxSeen = displayed.Speed;
    m_speedMinSeen = displayed.Speed;
    m_currentMaxSeen = displayed.CurrentMax;
    m_currentMinSeen = displayed.CurrentMin;
}

AxisSetting ChartScaling::speedResetLocked(const ReceivedValues &displayed)
{
    const double s = displayed.Speed;
    const AxisSetting setting{s - SpeedResetHalfSpan, s + SpeedResetHalfSpan,
                              s > m_speedAxis.maximum};
    m_speedAxis = {setting.minimum, setting.maximum};
    return setting;
}

AxisSetting ChartScaling::currentResetLocked(const ReceivedValues &displayed)
{
    const AxisSetting setting{double(displayed.CurrentMin) - CurrentResetMargin,
                              double(displayed.CurrentMax) + CurrentResetMargin,
                              m_currentAxis.maximum < displayed.CurrentMax};
    m_currentAxis = {setting.minimum, setting.maximum};
    return setting;
}

AxisSetting ChartScaling::resetSpeedScale(const ReceivedValues &displayed)
{
    Lock lock(m_mutex);
    const AxisSetting setting = speedResetLocked(displayed);
    resetExtremesLocked(displayed);
    return setting;
}

AxisSetting ChartScaling::resetCurrentScale(const ReceivedValues &displayed)
{
    Lock lock(m_mutex);
    const AxisSetting setting = currentResetLocked(displayed);
    resetExtremesLocked(displayed);
    return setting;
}

ChartScaling::TabRelease ChartScaling::tabStripReleased(bool ctrlHeld, int activePage,
                                                        const ReceivedValues &displayed)
{
    Lock lock(m_mutex);
    TabRelease release;
    if (ctrlHeld && activePage == SpeedPage)
        release.speedAxis = speedResetLocked(displayed);
    else if (ctrlHeld && activePage == CurrentPage)
        release.currentAxis = currentResetLocked(displayed);
    resetExtremesLocked(displayed);
    return release;
}

AxisRange ChartScaling::speedAxis() const
{
    Lock lock(m_mutex);
    return m_speedAxis;
}

AxisRange ChartScaling::currentAxis() const
{
    Lock lock(m_mutex);
    return m_currentAxis;
}

int32_t ChartScaling::speedMaxSeen() const
{
    Lock lock(m_mutex);
    return m_speedMaxSeen;
}

int32_t ChartScaling::speedMinSeen() const
{
    Lock lock(m_mutex);
    return m_speedMinSeen;
}

float ChartScaling::currentMaxSeen() const
{
    Lock lock(m_mutex);
    return m_currentMaxSeen;
}

float ChartScaling::currentMinSeen() const
{
    Lock lock(m_mutex);
    return m_currentMinSeen;
}

int ChartScaling::commandPercent(int32_t command)
{
    return static_cast<int>(std::trunc(double(command) * 100.0 / FullCommand));
}

double ChartScaling::micrometres(double value, float pulsesPerMicrometre)
{
    const double result = value / double(pulsesPerMicrometre);
    return std::isfinite(result) ? result : std::nan("");
}

bool ChartScaling::desiredSeriesVisible(bool stepperUnits)
{
    return !stepperUnits;
}

bool ChartScaling::consignSeriesVisible(std::optional<RegulationMode> checkedMode)
{
    return checkedMode != RegulationMode::SpeedTraj;
}

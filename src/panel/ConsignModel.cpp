// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/ConsignModel.h"

#include "base/PanelNumberText.h"
#include "device/QLMCSession.h"
#include "device/RegisterRules.h"

#include <cmath>

namespace {

using Lock = std::lock_guard<std::mutex>;

// First-use ranges.
constexpr int32_t OpenLoopLimit = 65536;
// Input limits further apart than this make an unusable track bar: -100 .. 100 instead.
constexpr int64_t PositionSpanLimit = 100000000;
constexpr int32_t WidePositionLimit = 100;

constexpr int32_t TimerPeriodMinimum = 10;
constexpr int32_t TimerPeriodMaximum = 1000000000;

std::optional<int32_t> parseInt32(const QString &text, bool negativeAllowed)
{
    const std::optional<int64_t> value = PanelNumberText::parseInteger(text, negativeAllowed);
    if (!value || !PanelNumberText::fitsInt32(*value))
        return std::nullopt;
    return int32_t(*value);
}

int32_t negated(int32_t value)
{
    return int32_t(std::min<int64_t>(-int64_t(value), INT32_MAX));
}

} // namespace

ConsignModel::ConsignModel(QLMCSession &session)
    : m_session(session)
{}

void ConsignModel::setTrackRange(int minimum, int maximum)
{
    Lock lock(m_mutex);
    m_trackMinimum = minimum;
    m_trackMaximum = maximum;
}

// --- Modes -----------------------------------------------------------------------

ModeClickResult ConsignModel::modeClicked(RegulationMode mode, bool buttonEnabled,
                                          bool stepperUnits, double positionAxisMinimum)
{
    Lock lock(m_mutex);
    const ModeInfo &info = modeInfo(mode);
    ModeClickResult result;

    m_session.ModeSync = false;
    m_checkedMode = mode;
    result.inputCaption = info.inputGroupCaption(stepperUnits);
    for (const RegulationParameter &parameter : regulationParameters())
        result.redTitles[size_t(indexOf(parameter.id))] = info.isTitleRed(parameter.id);

    if (ConsignRange *range = rangeOf(info.range)) {
        if (!range->set)
            *range = firstUseRange(info.range);
        m_consignMin = range->minimum;
        m_consignMax = range->maximum;
        result.minText = QString::number(m_consignMin);
        result.maxText = QString::number(m_consignMax);
    }

    result.positionAxis = info.positionAxis;
    if (info.positionAxis == PositionAxisRule::FixedToRange)
        result.positionAxisRange =
            AxisSetting::towards(m_consignMin, m_consignMax, positionAxisMinimum);

    if (!buttonEnabled)
        return result;
    m_session.ModeSync = false;
    if (m_programmaticModeChange)
        return result;
    if (mode == RegulationMode::DriverStop) {
        // A driver stop is never judged nor held back by the rule book.
        RegisterLockGuard guard(m_session.lock());
        m_session.motor().RequestWrite(Reg::RegulationMode, info.value);
        result.written = true;
        return result;
    }
    // A mode the model does not offer is refused (and logged): nothing is written.
    const RegisterWrite write = RegisterRules::write(Reg::RegulationMode, info.value);
    result.written =
        RegisterRules::requestChecked(m_session, {&write, 1}, "ConsignModel::modeClicked",
                                      "Main panel");
    return result;
}

std::optional<RegulationMode> ConsignModel::modeToShow(int32_t receivedMode)
{
    return modeForValue(receivedMode);
}

void ConsignModel::beginModeDisplay()
{
    Lock lock(m_mutex);
    m_programmaticModeChange = true;
}

void ConsignModel::endModeDisplay()
{
    Lock lock(m_mutex);
    m_programmaticModeChange = false;
}

bool ConsignModel::programmaticModeChange() const
{
    Lock lock(m_mutex);
    return m_programmaticModeChange;
}

std::optional<RegulationMode> ConsignModel::checkedMode() const
{
    Lock lock(m_mutex);
    return m_checkedMode;
}

ConsignRange *ConsignModel::rangeOf(ConsignRangeKind kind)
{
    switch (kind) {
    case ConsignRangeKind::OpenLoop:
        return &m_openLoopRange;
    case ConsignRangeKind::Speed:
        return &m_speedRange;
    case ConsignRangeKind::Position:
        return &m_positionRange;
    case ConsignRangeKind::Unchanged:
        break;
    }
    return nullptr;
}

ConsignRange ConsignModel::firstUseRange(ConsignRangeKind kind) const
{
    switch (kind) {
    case ConsignRangeKind::OpenLoop:
        return {-OpenLoopLimit, OpenLoopLimit, true};
    case ConsignRangeKind::Speed: {
        RegisterLockGuard guard(m_session.lock());
        const int32_t top = m_session.Received.SpeedMax;
        return {negated(top), top, true};
    }
    case ConsignRangeKind::Position: {
        // The input limits as the options window last read them (0 .. 0 before).
        RegisterLockGuard guard(m_session.lock());
        const int32_t min = m_session.Options.InputMin;
        const int32_t max = m_session.Options.InputMax;
        if (int64_t(max) - int64_t(min) > PositionSpanLimit)
            return {-WidePositionLimit, WidePositionLimit, true};
        return {min, max, true};
    }
    case ConsignRangeKind::Unchanged:
        break;
    }
    return {};
}

// --- Consign ------------------------------------------------------------------

bool ConsignModel::checkConsign(const QString &text)
{
    return parseInt32(text, true).has_value();
}

std::optional<int32_t> ConsignModel::consignEnter(const QString &text)
{
    const std::optional<int32_t> value = parseInt32(text, true);
    if (!value)
        return std::nullopt;
    Lock lock(m_mutex);
    m_consignValue = *value;
    writeConsign(*value);
    return value;
}

void ConsignModel::readInputClicked()
{
    RegisterLockGuard guard(m_session.lock());
    m_session.Flags.raise(ValueFlag::ShowInput);
    m_session.motor().RequestRead(Reg::Input);
}

void ConsignModel::resetPositionClicked()
{
    const RegisterWrite write = RegisterRules::write(Reg::Position, 0);
    RegisterRules::requestChecked(m_session, {&write, 1}, "ConsignModel::resetPositionClicked",
                                  "Main panel");
}

std::optional<ConsignTrackResult> ConsignModel::trackBarChanged(int position, bool activeChecked)
{
    Lock lock(m_mutex);
    return trackBarChangedLocked(position, activeChecked);
}

std::optional<ConsignTrackResult> ConsignModel::trackBarChangedLocked(int position,
                                                                      bool activeChecked)
{
    if (m_skipTrackChange) {
        m_skipTrackChange = false;
        return std::nullopt;
    }
    // The track bar's ends are the range's ends, exactly: the span is
    // multiplied before the division, so the right end gives ConsignMax (a
    // quotient taken first would leave it a fraction short, one less once
    // truncated). The product of two integers is exact in long double.
    const int64_t span = int64_t(m_consignMax) - int64_t(m_consignMin);
    const long double consign =
        m_trackMaximum == 0
            ? static_cast<long double>(m_consignMin)
            : static_cast<long double>(span) * position / m_trackMaximum + m_consignMin;
    // Kept within 32 bits: the top of a full-width range would otherwise wrap to its bottom.
    m_consignValue = PanelNumberText::truncToInt32(consign);

    ConsignTrackResult result;
    result.consign = m_consignValue;
    result.consText = QString::number(m_consignValue);
    if (activeChecked) {
        writeConsign(m_consignValue);
        result.written = true;
    }
    return result;
}

std::optional<ConsignTrackResult> ConsignModel::activeTrackBarClicked(bool checked, int position)
{
    if (!checked)
        return std::nullopt;
    return trackBarChanged(position, true);
}

void ConsignModel::writeConsign(int32_t value)
{
    // Also run by the auto change on its own thread: the rule book takes the
    // RegisterLock once for the check and the request.
    const RegisterWrite write = RegisterRules::write(Reg::Input, value);
    RegisterRules::requestChecked(m_session, {&write, 1}, "ConsignModel::writeConsign",
                                  "Main panel");
}

// --- Range edits ----------------------------------------------------------------

bool ConsignModel::checkRangeLocked(const QString &text, bool isMinimum) const
{
    const std::optional<int32_t> value = parseInt32(text, true);
    if (!value)
        return false;
    return isMinimum ? *value < m_consignMax : *value > m_consignMin;
}

bool ConsignModel::checkRangeMin(const QString &text) const
{
    Lock lock(m_mutex);
    return checkRangeLocked(text, true);
}

bool ConsignModel::checkRangeMax(const QString &text) const
{
    Lock lock(m_mutex);
    return checkRangeLocked(text, false);
}

std::optional<RangeEnterResult> ConsignModel::rangeMinEnter(const QString &text,
                                                            float pulsesPerMicrometre)
{
    return rangeEnter(text, true, pulsesPerMicrometre);
}

std::optional<RangeEnterResult> ConsignModel::rangeMaxEnter(const QString &text,
                                                            float pulsesPerMicrometre)
{
    return rangeEnter(text, false, pulsesPerMicrometre);
}

std::optional<RangeEnterResult> ConsignModel::rangeEnter(const QString &text, bool isMinimum,
                                                         float pulsesPerMicrometre)
{
    Lock lock(m_mutex);
    if (!checkRangeLocked(text, isMinimum))
        return std::nullopt;
    const int32_t value = *parseInt32(text, true);
    (isMinimum ? m_consignMin : m_consignMax) = value;

    RangeEnterResult result;
    result.value = value;
    if (!m_checkedMode)
        return result;
    if (ConsignRange *range = rangeOf(modeInfo(*m_checkedMode).range))
        (isMinimum ? range->minimum : range->maximum) = value;
    if (*m_checkedMode == RegulationMode::WaitMode
        || *m_checkedMode == RegulationMode::PositionTraj) {
        result.positionAxisValue = value;
        const double micrometres = double(value) / double(pulsesPerMicrometre);
        if (std::isfinite(micrometres))
            result.micrometreAxisValue = micrometres;
    }
    return result;
}

QString ConsignModel::rangeMinText() const
{
    return QString::number(consignMin());
}

QString ConsignModel::rangeMaxText() const
{
    return QString::number(consignMax());
}

// --- Auto change ------------------------------------------------------------------

bool ConsignModel::selectAutoChange(AutoChange choice)
{
    Lock lock(m_mutex);
    m_autoChange = choice;
    if (choice == AutoChange::MinMax)
        m_minMaxHigh = true;
    else if (choice == AutoChange::Step)
        m_stepUp = true;
    return choice != AutoChange::No;
}

AutoChange ConsignModel::autoChange() const
{
    Lock lock(m_mutex);
    return m_autoChange;
}

bool ConsignModel::checkStep(const QString &text)
{
    return parseInt32(text, true).has_value();
}

StepEnterResult ConsignModel::stepEnter(const QString &text)
{
    const std::optional<int32_t> value = parseInt32(text, true);
    if (!value)
        return StepEnterResult::NotStored;
    Lock lock(m_mutex);
    m_autoStep = *value;
    return StepEnterResult::Stored;
}

QString ConsignModel::stepText() const
{
    return QString::number(autoStep());
}

bool ConsignModel::checkTimerPeriod(const QString &text)
{
    const std::optional<int32_t> value = parseInt32(text, false);
    return value && *value >= TimerPeriodMinimum && *value <= TimerPeriodMaximum;
}

std::optional<int32_t> ConsignModel::timerEnter(const QString &text)
{
    if (!checkTimerPeriod(text))
        return std::nullopt;
    Lock lock(m_mutex);
    m_autoPeriodMs = *parseInt32(text, false);
    return m_autoPeriodMs;
}

QString ConsignModel::timerText() const
{
    return QString::number(autoPeriodMs());
}

AutoChangeUpdate ConsignModel::autoChangeTick()
{
    Lock lock(m_mutex);
    const AutoChangeResult result = computeAutoChangeTick(stateLocked());
    m_consignValue = result.state.consignValue;
    m_minMaxHigh = result.state.minMaxHigh;
    m_stepUp = result.state.stepUp;
    if (result.update.consign)
        writeConsign(*result.update.consign);
    return result.update;
}

void ConsignModel::prepareTrackMove(int currentPosition, const AutoChangeUpdate &update)
{
    if (!update.moveTrackBar || !update.skipChangeEvent || currentPosition == update.trackPosition)
        return;
    Lock lock(m_mutex);
    m_skipTrackChange = true;
}

int ConsignModel::connectionOpened()
{
    Lock lock(m_mutex);
    m_openLoopRange.set = false;
    m_speedRange.set = false;
    m_positionRange.set = false;
    return (m_trackMaximum - m_trackMinimum) / 2;
}

// --- State ------------------------------------------------------------------------

int32_t ConsignModel::consignValue() const
{
    Lock lock(m_mutex);
    return m_consignValue;
}

int32_t ConsignModel::consignMin() const
{
    Lock lock(m_mutex);
    return m_consignMin;
}

int32_t ConsignModel::consignMax() const
{
    Lock lock(m_mutex);
    return m_consignMax;
}

int32_t ConsignModel::autoStep() const
{
    Lock lock(m_mutex);
    return m_autoStep;
}

int32_t ConsignModel::autoPeriodMs() const
{
    Lock lock(m_mutex);
    return m_autoPeriodMs;
}

bool ConsignModel::skipTrackChange() const
{
    Lock lock(m_mutex);
    return m_skipTrackChange;
}

ConsignRange ConsignModel::range(ConsignRangeKind kind) const
{
    Lock lock(m_mutex);
    switch (kind) {
    case ConsignRangeKind::OpenLoop:
        return m_openLoopRange;
    case ConsignRangeKind::Speed:
        return m_speedRange;
    case ConsignRangeKind::Position:
        return m_positionRange;
    case ConsignRangeKind::Unchanged:
        break;
    }
    return {};
}

AutoChangeState ConsignModel::autoChangeState() const
{
    Lock lock(m_mutex);
    return stateLocked();
}

AutoChangeState ConsignModel::stateLocked() const
{
    AutoChangeState state;
    state.mode = m_autoChange;
    state.consignValue = m_consignValue;
    state.consignMin = m_consignMin;
    state.consignMax = m_consignMax;
    state.autoStep = m_autoStep;
    state.minMaxHigh = m_minMaxHigh;
    state.stepUp = m_stepUp;
    state.trackMinimum = m_trackMinimum;
    state.trackMaximum = m_trackMaximum;
    return state;
}

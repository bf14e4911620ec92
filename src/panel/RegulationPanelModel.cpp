// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/RegulationPanelModel.h"

#include "base/NumberText.h"
#include "base/PanelNumberText.h"
#include "device/QLMCSession.h"
#include "device/RegisterRules.h"

#include <cmath>

namespace {

using Id = RegulationParameterId;

// 40 % of the full command 65535.
constexpr double FortyPercentCommand = 26214.0;

/// A 32-bit register value; the parameters the rule book keeps non-negative
/// (all but VffOffset) take no negative one.
bool inRegisterRange(int address, int64_t value)
{
    return value >= INT32_MIN && value <= INT32_MAX
           && (value >= 0 || !RegisterRules::isNonNegativeParameter(address));
}

} // namespace

RegulationPanelModel::RegulationPanelModel(QLMCSession &session)
    : m_session(session)
{}

ParameterEditCheck RegulationPanelModel::checkEdit(RegulationParameterId id, const QString &text)
{
    const RegulationParameter &parameter = regulationParameter(id);
    ParameterEditCheck check;
    switch (parameter.kind) {
    case ParameterKind::Fixed16:
    case ParameterKind::Fixed24: {
        if (!isNumberText(text, false, true))
            return check;
        QString number = text;
        const qsizetype separator = number.indexOf(localeDecimalSeparator());
        const int decimals = ParameterConversion::decimals(parameter.kind);
        if (separator >= 0 && number.size() - separator - 1 > decimals) {
            number.truncate(separator + 1 + decimals);
            check.replacementText = number;
        }
        const std::optional<double> value = PanelNumberText::parseDecimal(number);
        if (!value)
            return check;
        const int64_t raw = ParameterConversion::registerFromValue(parameter.kind, *value);
        check.valid = inRegisterRange(parameter.address, raw);
        check.value = *value;
        check.registerValue = raw;
        return check;
    }
    case ParameterKind::SignedInteger: {
        const std::optional<int64_t> value = PanelNumberText::parseInteger(text, true);
        check.valid = value && PanelNumberText::fitsInt32(*value);
        if (check.valid) {
            check.value = double(*value);
            check.registerValue = *value;
        }
        return check;
    }
    case ParameterKind::Log2e9:
    case ParameterKind::Log4_5e6: {
        // A text that is no integer counts as -1.
        const int64_t value = PanelNumberText::parseInteger(text, true).value_or(-1);
        check.valid = inRegisterRange(parameter.address, value);
        if (check.valid) {
            check.value = double(value);
            check.registerValue = value;
        }
        return check;
    }
    }
    return check;
}

std::optional<ParameterEnterResult> RegulationPanelModel::editEnter(RegulationParameterId id,
                                                                    const QString &text)
{
    const ParameterEditCheck check = checkEdit(id, text);
    if (!check.valid)
        return std::nullopt;
    const RegulationParameter &parameter = regulationParameter(id);
    write(parameter.address, check.registerValue);

    ParameterEnterResult result;
    result.registerValue = check.registerValue;
    result.trackPosition = ParameterConversion::positionFromValue(
        parameter.kind, check.value, parameter.trackMinimum, parameter.trackMaximum);
    if (ParameterConversion::isFixed(parameter.kind)) {
        result.editText = ParameterConversion::valueText(
            parameter.kind,
            ParameterConversion::valueFromRegister(parameter.kind, check.registerValue));
    }
    return result;
}

std::optional<ParameterTrackResult>
RegulationPanelModel::trackBarChanged(RegulationParameterId id, int position, bool trackBarEnabled)
{
    if (!trackBarEnabled)
        return std::nullopt;
    const RegulationParameter &parameter = regulationParameter(id);
    const double value = ParameterConversion::valueFromPosition(parameter.kind, position);
    ParameterTrackResult result;
    result.editText = ParameterConversion::valueText(parameter.kind, value);
    result.registerValue = ParameterConversion::registerFromValue(parameter.kind, value);
    if (!m_suppressTrackWrite) {
        write(parameter.address, result.registerValue);
        result.written = true;
    }
    return result;
}

ParameterDisplay RegulationPanelModel::receivedDisplay(RegulationParameterId id,
                                                       const ReceivedValues &values)
{
    const RegulationParameter &parameter = regulationParameter(id);
    const double value = parameter.receivedValue(values);
    return {ParameterConversion::valueText(parameter.kind, value),
            ParameterConversion::positionFromValue(parameter.kind, value, parameter.trackMinimum,
                                                   parameter.trackMaximum)};
}

std::array<std::optional<ParameterEnterResult>, RegulationParameterCount>
RegulationPanelModel::writeAll(const std::array<ParameterEdit, RegulationParameterCount> &edits)
{
    std::array<std::optional<ParameterEnterResult>, RegulationParameterCount> results;
    for (const RegulationParameterId id : regulationWriteOrder()) {
        const auto index = static_cast<size_t>(indexOf(id));
        if (edits[index].enabled)
            results[index] = editEnter(id, edits[index].text);
    }
    return results;
}

void RegulationPanelModel::readAll()
{
    m_session.requestRegulationParameters();
}

AntiResetWindupCalculation
RegulationPanelModel::calculateAntiResetWindup(const QString &kvffText, const QString &kiText,
                                               bool antiResetWindupEnabled)
{
    AntiResetWindupCalculation result;
    // A Kvff text that is not a number counts as -1.
    const float kvff = float(PanelNumberText::parseDecimal(kvffText).value_or(-1.0));
    if (!(kvff >= 0))
        return result;
    QString text;
    if (kvff > 0) {
        const std::optional<double> ki = PanelNumberText::parseDecimal(kiText);
        if (!ki || *ki == 0.0) {
            result.invalidGain = true;
            return result;
        }
        text = QString::number(std::trunc(FortyPercentCommand / *ki + 0.5), 'f', 0);
    } else {
        text = QStringLiteral("1000000000");
    }
    result.editText = text;
    if (antiResetWindupEnabled)
        result.entered = editEnter(Id::AntiResetWindup, text);
    return result;
}

void RegulationPanelModel::gainsSwitchedOff()
{
    requestGainsRead();
}

template<typename T>
std::optional<T> RegulationPanelModel::saveAndZero(int address, T received)
{
    // Only a value the device sent in this connection is remembered and
    // replaced by 0: one never received could not be written back.
    if (!m_session.motor().registerAt(address)->received())
        return std::nullopt;
    write(address, 0);
    return received;
}

void RegulationPanelModel::gainsTimerTick()
{
    RegisterLockGuard guard(m_session.lock());
    const ReceivedValues &received = m_session.Received;
    m_savedGains = {saveAndZero(Reg::Kp, received.Kp), saveAndZero(Reg::Ki, received.Ki),
                    saveAndZero(Reg::Kd, received.Kd)};
}

void RegulationPanelModel::gainsSwitchedOn()
{
    RegisterLockGuard guard(m_session.lock());
    const auto restore = [this](int address, const std::optional<float> &gain) {
        if (gain)
            write(address, ParameterConversion::registerFromValue(ParameterKind::Fixed16, *gain));
    };
    restore(Reg::Kp, m_savedGains.Kp);
    restore(Reg::Ki, m_savedGains.Ki);
    restore(Reg::Kd, m_savedGains.Kd);
}

void RegulationPanelModel::requestGainsRead()
{
    read({Reg::Kp, Reg::Ki, Reg::Kd});
}

void RegulationPanelModel::feedForwardSwitchedOff()
{
    requestFeedForwardRead();
}

void RegulationPanelModel::feedForwardTimerTick()
{
    RegisterLockGuard guard(m_session.lock());
    const ReceivedValues &received = m_session.Received;
    m_savedFeedForward = {saveAndZero(Reg::VffOffset, received.VffOffset),
                          saveAndZero(Reg::Kvff, received.Kvff),
                          saveAndZero(Reg::Kaff, received.Kaff),
                          saveAndZero(Reg::Kdff, received.Kdff)};
}

void RegulationPanelModel::feedForwardSwitchedOn()
{
    RegisterLockGuard guard(m_session.lock());
    using ParameterConversion::registerFromValue;
    const SavedFeedForward &saved = m_savedFeedForward;
    if (saved.VffOffset)
        write(Reg::VffOffset, *saved.VffOffset);
    if (saved.Kvff)
        write(Reg::Kvff, registerFromValue(ParameterKind::Fixed16, *saved.Kvff));
    if (saved.Kaff)
        write(Reg::Kaff, registerFromValue(ParameterKind::Fixed24, *saved.Kaff));
    if (saved.Kdff)
        write(Reg::Kdff, registerFromValue(ParameterKind::Fixed24, *saved.Kdff));
}

void RegulationPanelModel::requestFeedForwardRead()
{
    read({Reg::VffOffset, Reg::Kvff, Reg::Kaff, Reg::Kdff});
}

void RegulationPanelModel::write(int address, int64_t value)
{
    const RegisterWrite write = RegisterRules::write(address, value);
    RegisterRules::requestChecked(m_session, {&write, 1}, "RegulationPanelModel::write", "Main panel");
}

void RegulationPanelModel::read(std::initializer_list<int> addresses)
{
    RegisterLockGuard guard(m_session.lock());
    for (int address : addresses)
        m_session.motor().RequestRead(address);
}

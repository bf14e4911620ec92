// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "features/OptionsModel.h"

#include "device/QLMCSession.h"
#include "device/RegisterRules.h"

using namespace OptionRegisters;

OptionsModel::OptionsModel(QLMCSession &session)
    : m_session(session)
{}

OptionsModel::Shown OptionsModel::shown() const
{
    RegisterLockGuard guard(m_session.lock());
    const OptionsRecord &r = m_session.Options;
    return {r.OptionBits, r.StandbyTimer, r.InputMin, r.InputMax};
}

OptionsModel::Direct OptionsModel::direct() const
{
    RegisterLockGuard guard(m_session.lock());
    const OptionsRecord &r = m_session.Options;
    return {r.CurrentMaxRaw, r.OutputVoltageRaw, r.DissipationRaw};
}

void OptionsModel::requestOptions()
{
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestOptionsRead();
}

void OptionsModel::requestOutputsMax()
{
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestRead(Reg::CurrentMax);
    m_session.motor().RequestRead(Reg::MaxOutputVoltage);
}

void OptionsModel::requestInputLimits()
{
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestRead(Reg::InputMax);
    m_session.motor().RequestRead(Reg::InputMin);
}

void OptionsModel::requestDissipation()
{
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestRead(Reg::DissipationVoltage);
}

void OptionsModel::requestStandby()
{
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestRead(Reg::StandbyTimer);
}

uint32_t OptionsModel::writeOptionBits(const Bits &boxes)
{
    const uint32_t value = compose(boxes);
    RegisterLockGuard guard(m_session.lock());
    const RegisterWrite write = RegisterRules::write(Reg::Options, int64_t(value));
    if (!RegisterRules::requestChecked(m_session, {&write, 1}, "OptionsModel::writeOptionBits", "Options"))
        return value;
    m_session.Options.OptionBits = value;
    return value;
}

bool OptionsModel::writeOutputsMax(const QString &currentText, bool active, int position)
{
    const std::optional<int32_t> current = currentRaw(currentText, m_maxPeakCurrent);
    if (!current)
        return false;
    const RegisterWrite writes[] = {
        RegisterRules::write(Reg::CurrentMax, *current),
        RegisterRules::write(Reg::MaxOutputVoltage,
                             active ? voltageRaw(position) : VoltageInactive)};
    return RegisterRules::requestChecked(m_session, writes, "OptionsModel::writeOutputsMax", "Options");
}

bool OptionsModel::writeInputLimits(const QString &minText, const QString &maxText)
{
    const auto limits = inputLimitsToWrite(minText, maxText);
    if (!limits)
        return false;
    RegisterLockGuard guard(m_session.lock());
    const RegisterWrite writes[] = {RegisterRules::write(Reg::InputMin, limits->first),
                                    RegisterRules::write(Reg::InputMax, limits->second)};
    if (!RegisterRules::requestChecked(m_session, writes, "OptionsModel::writeInputLimits", "Options"))
        return false;
    m_session.Options.InputMin = limits->first;
    m_session.Options.InputMax = limits->second;
    return true;
}

void OptionsModel::writeDissipation(int position)
{
    const RegisterWrite write = RegisterRules::write(Reg::DissipationVoltage, voltageRaw(position));
    RegisterRules::requestChecked(m_session, {&write, 1}, "OptionsModel::writeDissipation", "Options");
}

bool OptionsModel::writeStandby(const QString &text)
{
    const std::optional<uint16_t> value = standbyValue(text);
    if (!value)
        return false;
    RegisterLockGuard guard(m_session.lock());
    const RegisterWrite write = RegisterRules::write(Reg::StandbyTimer, *value);
    if (!RegisterRules::requestChecked(m_session, {&write, 1}, "OptionsModel::writeStandby", "Options"))
        return false;
    m_session.Options.StandbyTimer = *value;
    return true;
}

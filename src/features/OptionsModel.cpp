#include "features/OptionsModel.h"

#include "device/QLMCSession.h"

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
    m_session.motor().RequestWrite(Reg::Options, int64_t(value));
    m_session.Options.OptionBits = value;
    return value;
}

bool OptionsModel::writeOutputsMax(const QString &currentText, bool active, int position)
{
    const std::optional<int32_t> current = currentRaw(currentText, m_maxPeakCurrent);
    if (!current)
        return false;
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestWrite(Reg::CurrentMax, *current);
    m_session.motor().RequestWrite(Reg::MaxOutputVoltage,
                                   active ? voltageRaw(position) : VoltageInactive);
    return true;
}

bool OptionsModel::writeInputLimits(const QString &minText, const QString &maxText)
{
    const auto limits = inputLimitsToWrite(minText, maxText);
    if (!limits)
        return false;
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestWrite(Reg::InputMin, limits->first);
    m_session.motor().RequestWrite(Reg::InputMax, limits->second);
    m_session.Options.InputMin = limits->first;
    m_session.Options.InputMax = limits->second;
    return true;
}

void OptionsModel::writeDissipation(int position)
{
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestWrite(Reg::DissipationVoltage, voltageRaw(position));
}

bool OptionsModel::writeStandby(const QString &text)
{
    const std::optional<uint16_t> value = standbyValue(text);
    if (!value)
        return false;
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestWrite(Reg::StandbyTimer, *value);
    m_session.Options.StandbyTimer = *value;
    return true;
}

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "features/LimitsModel.h"

#include "device/RegisterRules.h"
#include "device/QLMCSession.h"

#include <algorithm>

LimitsModel::LimitsModel(QLMCSession &session)
    : m_session(session)
{}

LimitSettings LimitsModel::settings(int limit) const
{
    RegisterLockGuard guard(m_session.lock());
    return LimitRegisters::fromRecord(m_session.Limits, limit);
}

template<typename F>
void LimitsModel::change(F &&f)
{
    RegisterLockGuard guard(m_session.lock());
    LimitSettings s = LimitRegisters::fromRecord(m_session.Limits, m_shown);
    f(s);
    LimitRegisters::toRecord(m_session.Limits, m_shown, s);
}

void LimitsModel::setSetupBit(uint32_t mask, bool on)
{
    mask &= LimitRegisters::UsedBit | LimitRegisters::ActiveOn1Bit | LimitRegisters::ControlModeBit
            | LimitRegisters::PositionBit;
    change([&](LimitSettings &s) { s.Setup = on ? (s.Setup | mask) : (s.Setup & ~mask); });
}

void LimitsModel::setXInputItem(int item)
{
    change([&](LimitSettings &s) {
        LimitSetupBits bits = LimitRegisters::decodeSetup(s.Setup);
        bits.xInputItem = std::clamp(item, 0, 3);
        s.Setup = LimitRegisters::composeSetup(s.Setup, bits);
    });
}

void LimitsModel::setControlMode(int mode)
{
    if (mode < 0 || mode >= LimitRegisters::ControlModeCount)
        return;
    change([&](LimitSettings &s) { s.ControlMode = uint8_t(mode); });
}

void LimitsModel::setPosition(int32_t position)
{
    change([&](LimitSettings &s) { s.Position = position; });
}

void LimitsModel::setXInput(int32_t value)
{
    change([&](LimitSettings &s) { s.XInput = value; });
}

void LimitsModel::requestRead()
{
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestLimitsRead();
    m_session.motor().RequestOptionsRead();
}

uint64_t LimitsModel::write()
{
    RegisterLockGuard guard(m_session.lock());
    const uint64_t noted = m_session.answerSequence();
    const LimitSettings s = LimitRegisters::fromRecord(m_session.Limits, m_shown);
    std::vector<RegisterWrite> batch;
    for (const LimitWrite &w : LimitRegisters::writes(m_shown, s))
        batch.push_back(RegisterRules::write(w.address, w.value));
    if (RegisterRules::requestChecked(m_session, batch, "LimitsModel::write", "Limits"))
        for (const RegisterWrite &w : batch)
            m_session.motor().RequestRead(w.address);
    return noted;
}

bool LimitsModel::readBackArrived(int limit, uint64_t noted) const
{
    RegisterLockGuard guard(m_session.lock());
    const int base = LimitRegisters::baseAddress(limit == 1 ? 1 : 0);
    for (int i = 0; i < 4; ++i)
        if (!m_session.motor().registerAt(base + i)->receivedAfter(noted))
            return false;
    return true;
}

std::array<bool, 4> LimitsModel::changedLines() const
{
    std::array<bool, 4> changed{};
    RegisterLockGuard guard(m_session.lock());
    const LimitSettings s = LimitRegisters::fromRecord(m_session.Limits, m_shown);
    const int base = LimitRegisters::baseAddress(m_shown);
    for (int i = 0; i < 4; ++i) {
        int size = 0;
        const std::array<uint8_t, 4> held = LimitRegisters::bytes(i, s, &size);
        const QLMCRegister *reg = m_session.motor().registerAt(base + i);
        changed[size_t(i)] = !std::equal(held.begin(), held.begin() + size, reg->Value.begin());
    }
    return changed;
}

std::array<bool, 2> LimitsModel::limitWarnings() const
{
    RegisterLockGuard guard(m_session.lock());
    const uint32_t bits = m_session.Warning.Bits;
    return {bool(bits & (1u << 14)), bool(bits & (1u << 16))};
}

void LimitsModel::requestWarnings()
{
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestRead(Reg::Warning);
}

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/QLMCIPMotor.h"

#include <algorithm>
#include <utility>

namespace {

template<size_t... I>
std::array<QLMCRegister, RegisterCount> makeRegisters(std::index_sequence<I...>)
{
    const auto &table = registerTable();
    // A fresh image reads only Type and Version; identification grants the rest.
    return {QLMCRegister(std::string(table[I].name), table[I].address, table[I].size,
                         I == Reg::Type || I == Reg::Version, false)...};
}

} // namespace

std::array<QLMCRegister, RegisterCount> QLMCIPMotor::buildRegisters()
{
    return makeRegisters(std::make_index_sequence<RegisterCount>());
}

// An image under construction or destruction is not reachable by other
// threads: the session swaps images only while it holds the RegisterLock.
QLMCIPMotor::QLMCIPMotor(RegisterLock &lock, std::atomic<uint64_t> *requestStamp)
    : m_lock(lock)
    , m_requestStamp(requestStamp)
    , m_registers(buildRegisters())
{}

QLMCIPMotor::~QLMCIPMotor() = default;

QLMCRegister *QLMCIPMotor::registerAt(int address)
{
    if (address < 0 || address >= RegisterCount)
        return nullptr;
    return &m_registers[static_cast<size_t>(address)];
}

const QLMCRegister *QLMCIPMotor::registerAt(int address) const
{
    if (address < 0 || address >= RegisterCount)
        return nullptr;
    return &m_registers[static_cast<size_t>(address)];
}

void QLMCIPMotor::RequestRead(int address)
{
    RegisterLockGuard guard(m_lock);
    if (QLMCRegister *reg = registerAt(address)) {
        reg->ReadRequest = true;
        noteRequest();
    }
}

void QLMCIPMotor::RequestWrite(int address, int64_t value)
{
    RegisterLockGuard guard(m_lock);
    QLMCRegister *reg = registerAt(address);
    if (!reg)
        return;
    reg->setWriteValue(value);
    reg->WriteRequest = true;
    if (m_writeHook)
        m_writeHook(address);
    noteRequest();
}

void QLMCIPMotor::RequestWriteBytes(int address, std::span<const uint8_t> bytes)
{
    RegisterLockGuard guard(m_lock);
    QLMCRegister *reg = registerAt(address);
    if (!reg)
        return;
    std::fill(reg->WriteValue.begin(), reg->WriteValue.end(), uint8_t(0));
    const size_t n = std::min(bytes.size(), reg->WriteValue.size());
    std::copy_n(bytes.begin(), n, reg->WriteValue.begin());
    reg->WriteRequest = true;
    if (m_writeHook)
        m_writeHook(address);
    noteRequest();
}

void QLMCIPMotor::ClearReadRequests()
{
    RegisterLockGuard guard(m_lock);
    for (QLMCRegister &reg : m_registers)
        reg.ReadRequest = false;
}

void QLMCIPMotor::RequestAllReadable()
{
    RegisterLockGuard guard(m_lock);
    for (int address = 0x02; address < RegisterCount; ++address) {
        QLMCRegister &reg = m_registers[static_cast<size_t>(address)];
        if (reg.Readable)
            reg.ReadRequest = true;
    }
    noteRequest();
}

void QLMCIPMotor::RequestOptionsRead()
{
    RequestRead(Reg::Options);
}

void QLMCIPMotor::RequestLimitsRead()
{
    RegisterLockGuard guard(m_lock);
    for (int address :
         {Reg::Limit1Setup, Reg::Limit1ControlMode, Reg::Limit1Position, Reg::Limit1XInput,
          Reg::Limit2Setup, Reg::Limit2ControlMode, Reg::Limit2Position, Reg::Limit2XInput})
        m_registers[static_cast<size_t>(address)].ReadRequest = true;
    noteRequest();
}

int QLMCIPMotor::RegisterSize(int address)
{
    const RegisterInfo *info = registerInfo(address);
    return info ? info->size : 0;
}

void QLMCIPMotor::setAccess(int address, bool readable, bool writable)
{
    RegisterLockGuard guard(m_lock);
    if (QLMCRegister *reg = registerAt(address)) {
        reg->Readable = readable;
        reg->Writable = writable;
    }
}

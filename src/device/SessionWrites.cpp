// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The session's write side: every write request of a register a parameter
// file holds goes into the change history, and urgent writes (STOP, abort)
// wait apart from the ordinary ones for the sender's next pass.
#include "device/QLMCSession.h"

#include <QDateTime>

void QLMCSession::installWriteHook()
{
    m_motor->setWriteHook([this](int address) { writeRequested(address); });
}

void QLMCSession::writeRequested(int address)
{
    if (!ChangeHistory::isTracked(address) || m_connection.ComMode.load() == ComModes::Closed)
        return;
    const QLMCRegister *reg = m_motor->registerAt(address);
    if (!reg || !reg->Writable)
        return;
    // A value equal to the one the device sent changes nothing, as long as
    // the tool changed nothing there in this connection: after a change, a
    // value read may be older than the write (its read was in flight), so
    // every write is recorded.
    if (reg->received() && !m_changed.test(size_t(address)) && reg->Value == reg->WriteValue)
        return;
    ChangeRecord record;
    record.time = QDateTime::currentDateTime();
    record.device = m_deviceLabel;
    record.address = address;
    if (reg->received())
        record.before = reg->Value;
    record.written = reg->WriteValue;
    record.source = ChangeSource::current();
    m_changed.set(size_t(address));
    m_history.record(std::move(record));
}

void QLMCSession::setDeviceLabel(const QString &label)
{
    RegisterLockGuard guard(m_lock);
    m_deviceLabel = label;
}

QString QLMCSession::deviceLabel()
{
    RegisterLockGuard guard(m_lock);
    return m_deviceLabel;
}

bool QLMCSession::requestUrgentWrite(int address, int64_t value)
{
    RegisterLockGuard guard(m_lock);
    QLMCRegister *reg = m_motor->registerAt(address);
    if (!reg || m_connection.ComMode.load() == ComModes::Closed)
        return false;
    // A pending ordinary write of the register would follow and undo it.
    reg->WriteRequest = false;
    m_urgent.set(size_t(address));
    m_urgentValues[size_t(address)] = value;
    m_urgentPending = true;
    if (m_senderWake)
        m_senderWake();
    return true;
}

bool QLMCSession::requestDriverStop()
{
    return requestUrgentWrite(Reg::RegulationMode, 0);
}

std::vector<QLMCSession::UrgentWrite> QLMCSession::takeUrgentWrites()
{
    RegisterLockGuard guard(m_lock);
    std::vector<UrgentWrite> taken;
    for (size_t address = 0; address < m_urgent.size(); ++address)
        if (m_urgent.test(address))
            taken.push_back({int(address), m_urgentValues[address]});
    m_urgent.reset();
    m_urgentPending = false;
    return taken;
}

void QLMCSession::restoreUrgentWrites(const std::vector<UrgentWrite> &writes)
{
    RegisterLockGuard guard(m_lock);
    for (const UrgentWrite &write : writes) {
        if (m_urgent.test(size_t(write.address)))
            continue; // asked again meanwhile: the newer value stays
        m_urgent.set(size_t(write.address));
        m_urgentValues[size_t(write.address)] = write.value;
    }
    m_urgentPending = m_urgent.any();
}

void QLMCSession::setSenderWake(std::function<void()> wake)
{
    RegisterLockGuard guard(m_lock);
    m_senderWake = std::move(wake);
}

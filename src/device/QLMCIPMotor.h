// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/QLMCRegister.h"
#include "device/RegisterLock.h"
#include "device/RegisterTable.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

/// The register image of the connected controller: one slot per address
/// 0x00..0x64, plus the last decoded position, speed, command and desired state.
///
/// Every operation takes the RegisterLock for its whole duration (the lock is
/// re-entrant, so callers that already hold it may call them). Addresses outside
/// 0x00..0x64 are ignored by every operation.
class QLMCIPMotor
{
public:
    /// Builds the image with only Type and Version readable and nothing writable.
    /// Every request raises \a requestStamp when given (the session's count,
    /// which tells an idle sender that work arrived).
    explicit QLMCIPMotor(RegisterLock &lock, std::atomic<uint64_t> *requestStamp = nullptr);
    ~QLMCIPMotor();
    QLMCIPMotor(const QLMCIPMotor &) = delete;
    QLMCIPMotor &operator=(const QLMCIPMotor &) = delete;

    int32_t LastPosition = 0;
    int32_t LastSpeed = 0;
    int32_t LastCommand = 0;
    int32_t LastDesired = 0;

    /// Slot i describes address i. Access only under the RegisterLock.
    std::array<QLMCRegister, RegisterCount> &registers() { return m_registers; }
    const std::array<QLMCRegister, RegisterCount> &registers() const { return m_registers; }
    /// The slot at \a address, or nullptr outside 0x00..0x64. Access only under the lock.
    QLMCRegister *registerAt(int address);
    const QLMCRegister *registerAt(int address) const;

    /// Marks \a address for reading; the sender drops it if it is not Readable.
    void RequestRead(int address);
    /// Stores \a value most significant byte first in WriteValue and marks the
    /// register for writing. For a command register only the request is set.
    void RequestWrite(int address, int64_t value);
    /// Stores the given bytes (up to Size, the rest zero) and marks the register for writing.
    void RequestWriteBytes(int address, std::span<const uint8_t> bytes);
    /// Clears the read request of every register.
    void ClearReadRequests();
    /// Requests every Readable register from 0x02 to 0x64.
    void RequestAllReadable();
    /// Requests the option register 0x2C.
    void RequestOptionsRead();
    /// Requests the two limit blocks 0x50..0x53 and 0x58..0x5B.
    void RequestLimitsRead();
    /// Value bytes of \a address (0 outside the table); constant, needs no lock.
    static int RegisterSize(int address);

    /// Called (under the lock) after every write request with its address:
    /// the session records the change.
    void setWriteHook(std::function<void(int address)> hook) { m_writeHook = std::move(hook); }
    /// Raises the request stamp; called by every request above, and by code
    /// that sets ReadRequest or WriteRequest of a slot itself.
    void noteRequest()
    {
        if (m_requestStamp)
            m_requestStamp->fetch_add(1, std::memory_order_release);
    }

    /// Grants access to \a address (used by the identification).
    void setAccess(int address, bool readable, bool writable);

    RegisterLock &lock() const { return m_lock; }

private:
    static std::array<QLMCRegister, RegisterCount> buildRegisters();

    RegisterLock &m_lock;
    std::atomic<uint64_t> *m_requestStamp;
    std::array<QLMCRegister, RegisterCount> m_registers;
    std::function<void(int)> m_writeHook;
};

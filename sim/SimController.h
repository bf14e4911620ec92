// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "sim/SimModel.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// Network identity of a simulated controller (what discovery reports).
struct SimIdentity
{
    std::array<uint8_t, 6> mac{0x00, 0x50, 0xC2, 0x00, 0x00, 0x01};
    std::array<uint8_t, 4> ip{127, 0, 0, 1};
    std::array<uint8_t, 4> mask{255, 0, 0, 0};
    std::string name = "Virtual"; ///< at most 16 characters on the wire
};

/// Outcome of an auto-tuning run, selectable for tests and with --autotune.
enum class SimAutoTuneOutcome {
    Success,     ///< status 0x00, new gains
    Error,       ///< 0x14: speed measured = 0, no Hall sensors (rotor held)
    NoSpeedHall, ///< 0x24: speed measured = 0, Hall sensors detected (rotor held)
    Oscillation, ///< 0x34: the response rings
    Undefined,   ///< 0xF4: an error detail the tool does not define
    RunningHigh, ///< reports 0x13 while running, then succeeds
};

/// "success", "no-speed", "no-speed-hall", "oscillation", "undefined",
/// "running-13"; nullopt for another name.
std::optional<SimAutoTuneOutcome> simAutoTuneOutcome(const std::string &name);

/// One simulated controller: its register set as the model grants it, the
/// EEPROM image behind the save/restore commands, and the motor and regulator
/// model that makes position, speed and current move. Thread-safe: every
/// public function takes the controller's own mutex.
class SimController
{
public:
    SimController(SimModel model, SimIdentity identity);
    ~SimController();
    SimController(const SimController &) = delete;
    SimController &operator=(const SimController &) = delete;

    const SimModel &model() const;

    /// True when the device answers reads of \a address.
    bool answersRead(int address) const;
    /// True when the device accepts writes of \a address (commands included).
    bool acceptsWrite(int address) const;

    /// Appends the register's value bytes (its table size, big-endian) to \a out.
    /// False, and nothing appended, when the device does not answer the register.
    bool readRegister(int address, std::vector<uint8_t> &out);
    /// Applies a write of exactly the register's size in bytes (none for a
    /// command register, which is carried out). False when refused.
    bool writeRegister(int address, std::span<const uint8_t> value);

    SimIdentity identity() const;
    /// Applies a new IP address and mask (the discovery IP change).
    void setAddress(const std::array<uint8_t, 4> &ip, const std::array<uint8_t, 4> &mask);

    /// By default the motor model follows the steady clock, catching up in
    /// fixed steps of the loop time whenever it is accessed. With a manual clock
    /// it moves only through advance(), so tests are reproducible.
    void useManualClock(bool manual);
    /// Runs the model for \a duration in fixed steps of the loop time.
    void advance(std::chrono::microseconds duration);

    void setAutoTuneOutcome(SimAutoTuneOutcome outcome);

    /// Forces present warning bits (bits 0, 2, .. 30 of register 0x08) on,
    /// for fault injection; their latched bits follow as usual. 0 forces none.
    void setForcedWarnings(uint32_t presentBits);
    /// The level a line configured "0 - Input" reads in 0x56 (\a line 1 or 2).
    void setInputLevel(int line, bool high);
    /// Places limit switch 1 (closed at or below \a limit1) and limit switch 2
    /// (closed at or above \a limit2), in pulses from the power-up position.
    /// By default they sit at -30000 and +30000.
    void setLimitSwitchPositions(int32_t limit1, int32_t limit2);
    /// Forces limit switch \a limit (1 or 2) closed or open; nullopt lets it
    /// follow the motor position again.
    void setLimitSwitch(int limit, std::optional<bool> closed);

    /// Register faults: reads of the \a noAnswer registers are left out of the
    /// answers; writes of the \a ignoreWrite registers are acknowledged and
    /// change nothing.
    void setRegisterFaults(std::vector<int> noAnswer, std::vector<int> ignoreWrite);

    /// Test hook on the image: the stored bytes of \a address, whatever the
    /// model grants (live registers as last rendered).
    std::vector<uint8_t> imageBytes(int address) const;
    /// Test hook: stores \a value (up to the register's size) in the image
    /// without any of the effects of a write.
    void setImageBytes(int address, std::span<const uint8_t> value);
    /// Raises the stored value of \a address by \a by (most significant byte
    /// first, wrapping within its size): devices of one run made to differ.
    void raiseImageValue(int address, uint64_t by);

private:
    class Private;
    std::unique_ptr<Private> d;
};

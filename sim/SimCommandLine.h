// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "sim/SimFaults.h"
#include "sim/SimController.h"
#include "sim/SimModel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// The options of tarvine-sim, parsed and checked.
struct SimCommandLine
{
    bool help = false;
    SimModel model; ///< --model (default NETDC-A), --version applied
    std::string bindAddress = "127.0.0.1";
    bool allowAnyAddress = false;
    uint16_t tcpPort = 8010;
    uint16_t udpPort = 7010;
    int count = 1; ///< devices on consecutive addresses
    bool gateway = false;
    std::vector<int> modules; ///< I2C addresses behind the gateway
    std::string logPath;
    SimFaultSettings faults;
    std::string name = "Virtual";
    std::array<uint8_t, 6> mac{0x00, 0x50, 0xC2, 0x00, 0x00, 0x01};
    uint64_t seed = 1;
    /// --limit-switches LOW,HIGH: physical positions of limit switches 1 and 2
    /// (pulses from the power-up position); nullopt keeps the model's.
    std::optional<std::pair<int32_t, int32_t>> limitSwitches;
    SimAutoTuneOutcome autotune = SimAutoTuneOutcome::Success; ///< --autotune
    uint32_t warnings = 0;                  ///< --warning: present bits forced on
    std::array<bool, 2> inputLevels{};      ///< --input-level: lines 1 and 2 set as inputs
    /// --vary REG[:STEP] (repeatable): device i (from 0) holds REG's value
    /// raised by i x STEP (raw, default 1), so the devices of one run differ.
    struct Vary
    {
        int address = 0;
        uint64_t step = 1;
    };
    std::vector<Vary> vary;

    /// Parses the arguments after the program name. nullopt, with the reason in
    /// \a error, for an unknown option or a value out of range.
    static std::optional<SimCommandLine> parse(const std::vector<std::string> &arguments,
                                               std::string *error);
    /// The --help text, naming every option.
    static std::string helpText();

    /// Address of device \a index: the bind address with its last field raised by \a index.
    std::string deviceAddress(int index) const;
    /// The MAC address raised by \a offset (as a 48-bit number).
    std::array<uint8_t, 6> macPlus(int offset) const;
};

/// "00:50:C2:00:00:01".
std::string simMacText(const std::array<uint8_t, 6> &mac);

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

struct ModelProfile;
class QLMCSession;

/// One register write as the rule book judges it: the register and its value
/// bytes in wire order (most significant first).
struct RegisterWrite
{
    int address = 0;
    std::vector<uint8_t> bytes;
};

/// A write the rule book refused, with its one-line reason.
struct RegisterRefusal
{
    int address = 0;
    QString reason;
};

/// What the rule book knows besides the value to write.
struct RuleContext
{
    /// The identified model; nullptr before any identification (then only the
    /// register's size is checked).
    std::shared_ptr<const ModelProfile> profile;
    int comMode = -1; ///< ComModes: 0x12 is an IP address unless behind a gateway
    /// The value of a register the device sent in this connection, or nullopt
    /// (used by rules that look at another register or at the bits in force).
    std::function<std::optional<std::vector<uint8_t>>(int address)> deviceValue;
};

/// The one rule book for every write to the controller: which values each
/// writable register takes on the connected model, in the register's units,
/// and a one-line reason for a refused one. The windows' checks, the parameter
/// files' send, the history's revert and tarvine-cli all ask it.
namespace RegisterRules {

// --- Single rules, in register units (the windows' edit checks use them) ------

inline constexpr int WatchdogMin = 30; ///< 0x14, seconds; 0 switches it off
inline constexpr int WatchdogMax = 60;
inline constexpr int StandbyMax = 0x7FFF;                 ///< 0x0D
inline constexpr int32_t VoltageOff = -1;                 ///< 0x2E without a limit
inline constexpr int32_t OutputVoltageMinRaw = 50 * 65536 / 10;  ///< 5.0 V
inline constexpr int32_t OutputVoltageMaxRaw = 500 * 65536 / 10; ///< 50.0 V
inline constexpr int32_t DissipationMinRaw = 50 * 65536 / 10;    ///< 5.0 V
inline constexpr int32_t DissipationMaxRaw = 550 * 65536 / 10;   ///< 55.0 V
inline constexpr int64_t GoalPulsesLimit = 1'000'000'000; ///< 0x4D goal in pulses
inline constexpr uint32_t OptionUnusedMask = 0xFE000000u; ///< 0x2C bits 25..31
inline constexpr int IoConfigLastCode = 7; ///< 0x55: codes 8..15 of each line are reserved

/// 0x2A: 0 .. the model's MaxPeakCurrent (16.16 A); \a raw is compared before
/// it is narrowed to 32 bits, so a huge or non-finite value is refused.
bool currentMaxAllowed(double raw, int32_t maxPeakCurrent);
/// 0x14: 0 (off) or 30..60 seconds.
bool watchdogAllowed(int64_t seconds);
/// 0x0D: 0 .. 32,767 ms.
bool standbyAllowed(int64_t milliseconds);
/// 0x24/0x25: the minimum not above the maximum.
bool inputLimitsAllowed(int64_t minimum, int64_t maximum);
/// 0x2E: no limit (-1) or 5.0 .. 50.0 V.
bool outputVoltageAllowed(int64_t raw);
/// 0x2F: 5.0 .. 55.0 V.
bool dissipationAllowed(int64_t raw);
/// The regulation parameters that take no negative value (0x33..0x36,
/// 0x40..0x44, 0x62..0x64): 0 .. 2,147,483,647.
bool isNonNegativeParameter(int address);
/// 0x12 in a direct connection: a host address (first field 1..223, last
/// field 1..254).
bool hostAddressAllowed(std::span<const uint8_t> bytes);

// --- The rule book --------------------------------------------------------------

/// "0x2A Current max" for the reasons.
QString registerLabel(int address);
/// Refused when \a count is not the register's size (0x00..0x64, not an empty
/// slot). This rule is never skipped, not even by --force.
std::optional<QString> sizeRefusal(int address, size_t count);
/// The reason \a write breaks a rule of the model, or nullopt. \a batch holds
/// the writes made together with it (0x24 with 0x25 are judged as a pair).
std::optional<QString> refusal(const RuleContext &context, const RegisterWrite &write,
                               std::span<const RegisterWrite> batch = {});
/// Every refusal of \a batch, in its order.
std::vector<RegisterRefusal> refusals(const RuleContext &context,
                                      std::span<const RegisterWrite> batch);

/// The context of the session's connection: its profile, mode and the values
/// received in this connection. Takes the RegisterLock.
RuleContext contextOf(QLMCSession &session);

/// Checks \a batch, then (all allowed) sets every write request in one hold of
/// the RegisterLock. With \a force the model's rules are skipped; the sizes
/// never are. Returns the refusals; when any, nothing was requested.
std::vector<RegisterRefusal> requestWrites(QLMCSession &session,
                                           std::span<const RegisterWrite> batch,
                                           bool force = false);

/// requestWrites() for the windows, whose own checks come first: a refusal
/// (a rule the window's check missed) is logged from \a function and nothing
/// is written. The history names \a source (the window) unless an outer
/// ChangeSource is in force. True when requested.
bool requestChecked(QLMCSession &session, std::span<const RegisterWrite> batch,
                    const char *function, const char *source);

/// requestChecked() that also gives the first refusal's one-line reason
/// (nullopt when requested), for a window or a command that shows it.
std::optional<QString> requestExplained(QLMCSession &session,
                                        std::span<const RegisterWrite> batch,
                                        const char *function, const char *source);

/// \a value most significant byte first in the register's size.
std::vector<uint8_t> bytesOf(int address, int64_t value);
/// One write of an integer value.
RegisterWrite write(int address, int64_t value);

} // namespace RegisterRules

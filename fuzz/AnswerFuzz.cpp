// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Fuzzes the answer path: reassembly, checksum, and the decoding of every
// register into the session, in each connection mode and packet phase; then
// the decoded option and limit records through the windows' display
// functions, with round-trip checks, and every other feature decoder and the
// auto-tuning wizard on what was decoded.
#include "FuzzSupport.h"

#include "device/QLMCSession.h"
#include "device/SessionListener.h"
#include "features/AutoTuningWizard.h"
#include "features/HomingSetup.h"
#include "features/IOLines.h"
#include "features/LimitRegisters.h"
#include "features/OptionRegisters.h"
#include "features/WarningRegister.h"
#include "protocol/PacketChecksum.h"

#include <algorithm>
#include <cstdlib>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

/// Checks every module list the session hands on: no more entries than the
/// payload had, each an address 1..127.
struct ScanCheck : SessionListener
{
    size_t payload = 0;
    void scanResult(const std::vector<uint8_t> &modules) override
    {
        if (modules.size() > payload)
            std::abort();
        for (const uint8_t module : modules)
            if (module < 1 || module > 127)
                std::abort();
    }
};

ScanCheck &scanCheck()
{
    static ScanCheck check;
    return check;
}

QLMCSession &session()
{
    static QLMCSession *s = fuzzsupport::newSession(&scanCheck());
    return *s;
}

/// What the options and limits windows show of the decoded records; aborts
/// when a display round trip does not hold.
void checkFeatureRecords(QLMCSession &s)
{
    using namespace OptionRegisters;
    RegisterLockGuard guard(s.lock());
    const OptionsRecord &o = s.Options;
    if (compose(decode(o.OptionBits)) != (o.OptionBits & ~UnusedMask))
        std::abort();
    // A received current shows as text the edit reads back to the raw value
    // (within the five decimals' rounding); a negative one is refused.
    const std::optional<int32_t> current = currentRaw(currentText(o.CurrentMaxRaw), INT32_MAX);
    if (o.CurrentMaxRaw >= 0 && (!current || std::abs(*current - o.CurrentMaxRaw) > 1))
        std::abort();
    if (o.CurrentMaxRaw < 0 && current)
        std::abort();
    for (const int32_t raw : {o.OutputVoltageRaw, o.DissipationRaw}) {
        const int position = std::clamp(voltagePosition(raw), VoltageMinimum, DissipationMaximum);
        if (voltagePosition(voltageRaw(position)) != position)
            std::abort();
    }
    if (standbyValue(QString::number(o.StandbyTimer)).has_value() != (o.StandbyTimer <= 0x7FFF))
        std::abort();
    for (int limit = 0; limit < 2; ++limit) {
        const LimitSettings l = LimitRegisters::fromRecord(s.Limits, limit);
        if (LimitRegisters::composeSetup(l.Setup, LimitRegisters::decodeSetup(l.Setup)) != l.Setup)
            std::abort();
        if (LimitRegisters::controlModeRadio(l.ControlMode).has_value() != (l.ControlMode < 6))
            std::abort();
        for (const LimitLine &line : LimitRegisters::lines(limit, l))
            if (!line.hex.startsWith(QLatin1String("[0x")) || !line.hex.endsWith(QLatin1Char(']')))
                std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    QLMCSession &s = session();
    const int modes[] = {-1, 0, 1, 2};
    s.connection().ComMode = modes[data[0] & 3];
    s.connection().Phase = (data[0] >> 2) % 3;
    s.connection().GatewayWriteItems = data[1] & 0x1F;
    for (size_t i = 0; i < s.connection().RequestedAddresses.size(); ++i)
        s.connection().RequestedAddresses[i] = uint8_t(0x20 + (i * 7 + data[1]) % 0x50);
    s.assembler().reset();

    // Half the time, wrap the input into a frame with a valid checksum so the
    // decoder sees it; otherwise feed it raw, in pieces.
    // Bit 6 makes it a module list (0x0006), half of those during a bus scan.
    const bool scanFrame = data[1] & 0x40;
    s.connection().ScanningI2C = scanFrame && (data[0] & 0x80);
    if (data[1] & 0x80) {
        const size_t payload = std::min<size_t>(size - 2, 1000);
        scanCheck().payload = payload;
        std::vector<uint8_t> frame{0x00, uint8_t(scanFrame ? 0x06 : 0x23), 0x00, 0x01,
                                   uint8_t(payload >> 8), uint8_t(payload)};
        frame.insert(frame.end(), data + 2, data + 2 + payload);
        const uint16_t cs = PacketChecksum(frame.data(), frame.size());
        frame.push_back(uint8_t(cs >> 8));
        frame.push_back(uint8_t(cs));
        s.assembler().feed(frame.data(), frame.size());
    } else {
        scanCheck().payload = size;
        size_t pos = 2;
        while (pos < size) {
            const size_t n = std::min<size_t>(size - pos, 1 + data[pos] % 64);
            s.assembler().feed(data + pos, n);
            pos += n;
        }
    }
    checkFeatureRecords(s);

    // The feature windows' decoders and the wizard on the decoded values.
    uint8_t tuning;
    uint16_t io;
    uint32_t warning, homing;
    {
        RegisterLockGuard guard(s.lock());
        tuning = s.AutoTuning.State;
        io = s.IO.Config;
        warning = s.Warning.Bits;
        homing = s.Calibration.HomingOptions;
    }
    (void)WarningRegister::groupTitle(warning);
    WarningRegister::LatchHistory history;
    history.observe(warning, QDateTime());
    for (int line = 1; line <= 2; ++line)
        if (IOLines::itemOf(io, line) >= IOLines::ItemCount)
            __builtin_trap();
    if (!HomingSetup::compose(HomingSetup::decode(homing)))
        __builtin_trap(); // a decoded value always composes again
    static AutoTuningWizard wizard;
    if (data[0] & 0x80) {
        wizard.setConnected(true);
        wizard.startClicked(data[0] & 0x40 ? TuningKind::PidPredictive : TuningKind::PidOnly);
    }
    const WizardRequests r = wizard.statusDecoded(tuning, nullptr);
    if (r.runEnded && wizard.running())
        __builtin_trap();
    return 0;
}

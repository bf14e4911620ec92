// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Fuzzes the enhanced-command window's logic: arbitrary 0x4D, 0x4E and 0x4F
// answers through DataReceived and the three displays, and arbitrary texts
// through every check and Write.
#include "FuzzSupport.h"

#include "device/RegisterTable.h"
#include "features/EnhancedCmdModel.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

QLMCSession &session()
{
    static QLMCSession *s = [] {
        QLMCSession *created = fuzzsupport::newSession();
        for (const int a : {Reg::EnhancedInput, Reg::LoopsConfig, Reg::EnhancedParams})
            created->motor().setAccess(a, true, true);
        return created;
    }();
    return *s;
}

/// The next text of the input: a length byte, then as many bytes as UTF-16 halves and Latin-1.
QString takeText(const uint8_t *&data, size_t &size)
{
    QString text;
    for (const uint8_t b : fuzzsupport::takeField(data, size, 24)) {
        // Mostly digits, signs and separators, sometimes anything.
        static const char common[] = "0123456789-.,+ e";
        text += b & 0x80 ? QChar(b) : QChar(QLatin1Char(common[b % (sizeof common - 1)]));
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 27)
        return 0;
    QLMCSession &s = session();
    // One direct read answer carrying the three registers (26 bytes of values).
    QLMCIPPacket packet;
    packet.Function = Function::ReadAnswer;
    size_t at = 0;
    const std::pair<int, size_t> registers[] = {
        {Reg::EnhancedInput, 6}, {Reg::LoopsConfig, 12}, {Reg::EnhancedParams, 8}};
    const uint8_t *in = data + 1;
    for (const auto &[address, count] : registers) {
        packet.Data[at++] = uint8_t(address);
        for (size_t i = 0; i < count; ++i)
            packet.Data[at++] = *in++;
    }
    packet.Length = int(at);
    s.DataReceived(packet);

    EnhancedCmdModel model(&s);
    {
        RegisterLockGuard guard(s.lock());
        model.displayAll(s.EnhancedCmd);
    }
    const uint8_t *rest = data + 27;
    size_t left = size - 27;
    const uint8_t actions = data[0];
    model.setParamsGroupEnabled(actions & 1);
    if (actions & 2)
        model.goalInPercentClicked();
    if (actions & 4)
        model.absoluteClicked(true);
    model.commandClicked(101 + (actions >> 3) % 18); // 118 is ignored
    model.goalTextChanged(takeText(rest, left));
    if (actions & 0x80)
        model.counterLoopsClicked();
    model.counterTextChanged(takeText(rest, left));
    model.pulsesTextChanged(takeText(rest, left));
    model.numeratorTextChanged(takeText(rest, left));
    model.denominatorTextChanged(takeText(rest, left));
    model.peakTextChanged(takeText(rest, left));
    model.durationTextChanged(takeText(rest, left));
    model.writeCommand();
    model.writeLoops();
    model.writeParams();
    const QString extra = takeText(rest, left);
    (void)EnhancedCmdModel::parsePulsesGoal(extra);
    (void)EnhancedCmdModel::parsePercentGoal(extra);
    (void)EnhancedCmdModel::parseCounter(extra, 100);
    (void)EnhancedCmdModel::parseLoopsField(extra);
    (void)EnhancedCmdModel::parsePeak(extra);
    (void)EnhancedCmdModel::parseDuration(extra);
    return 0;
}

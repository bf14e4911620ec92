// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "features/LimitRegisters.h"

#include "device/RegisterText.h"

#include <span>

namespace LimitRegisters {

namespace {

const char *const Captions[4] = {"Setup", "Regulation mode", "Position", "X input"};

} // namespace

int baseAddress(int limit)
{
    return limit == 1 ? 0x58 : 0x50;
}

LimitSetupBits decodeSetup(uint32_t setup)
{
    LimitSetupBits bits;
    bits.used = setup & UsedBit;
    bits.activeOn1 = setup & ActiveOn1Bit;
    bits.controlMode = setup & ControlModeBit;
    bits.position = setup & PositionBit;
    bits.xInputItem = int((setup & XInputMask) >> 5);
    return bits;
}

uint32_t composeSetup(uint32_t setup, const LimitSetupBits &bits)
{
    uint32_t value = setup & ~ControlledMask;
    if (bits.used)
        value |= UsedBit;
    if (bits.activeOn1)
        value |= ActiveOn1Bit;
    if (bits.controlMode)
        value |= ControlModeBit;
    if (bits.position)
        value |= PositionBit;
    // Item 1 sets bit 5, item 2 bit 6, item 3 both.
    value |= (uint32_t(bits.xInputItem) & 0x03) << 5;
    return value;
}

std::optional<int> controlModeRadio(uint8_t mode)
{
    if (mode < ControlModeCount)
        return int(mode);
    return std::nullopt;
}

QString controlModeCaption(int mode)
{
    static const char *const names[ControlModeCount] = {"Driver Stop",      "Driver Open",
                                                        "Open Loop",        "Wait mode",
                                                        "Speed trajectory", "Position trajectory"};
    if (mode < 0 || mode >= ControlModeCount)
        return {};
    return QLatin1String(names[mode]);
}

QString xInputCaption(int item)
{
    static const char *const names[4] = {"None", "Input", "Input offset", "Input measured+offset"};
    if (item < 0 || item > 3)
        return {};
    return QLatin1String(names[item]);
}

std::array<uint8_t, 4> bytes(int index, const LimitSettings &settings, int *size)
{
    uint32_t value = 0;
    int count = 4;
    switch (index) {
    case 0:
        value = settings.Setup;
        break;
    case 1:
        value = settings.ControlMode;
        count = 1;
        break;
    case 2:
        value = uint32_t(settings.Position);
        break;
    default:
        value = uint32_t(settings.XInput);
        break;
    }
    std::array<uint8_t, 4> out{};
    // Most significant byte first.
    for (int i = 0; i < count; ++i)
        out[size_t(i)] = uint8_t(value >> (8 * (count - 1 - i)));
    if (size)
        *size = count;
    return out;
}

std::array<LimitLine, 4> lines(int limit, const LimitSettings &settings)
{
    std::array<LimitLine, 4> out;
    const int base = baseAddress(limit);
    for (int i = 0; i < 4; ++i) {
        LimitLine &line = out[size_t(i)];
        line.address = base + i;
        line.caption = QStringLiteral("0x%1 - %2 :")
                           .arg(QString::number(line.address, 16).toUpper())
                           .arg(QLatin1String(Captions[i]));
        int size = 0;
        const std::array<uint8_t, 4> raw = bytes(i, settings, &size);
        line.hex = RegisterText::trace(std::span<const uint8_t>(raw.data(), size_t(size)));
    }
    return out;
}

std::array<LimitWrite, 4> writes(int limit, const LimitSettings &settings)
{
    const int base = baseAddress(limit);
    return {LimitWrite{base, int64_t(settings.Setup)},
            LimitWrite{base + 1, int64_t(settings.ControlMode)},
            LimitWrite{base + 2, int64_t(settings.Position)},
            LimitWrite{base + 3, int64_t(settings.XInput)}};
}

LimitSettings fromRecord(const LimitsRecord &record, int limit)
{
    const size_t i = limit == 1 ? 1 : 0;
    return {record.Setup[i], record.ControlMode[i], record.Position[i], record.XInput[i]};
}

void toRecord(LimitsRecord &record, int limit, const LimitSettings &settings)
{
    const size_t i = limit == 1 ? 1 : 0;
    record.Setup[i] = settings.Setup;
    record.ControlMode[i] = settings.ControlMode;
    record.Position[i] = settings.Position;
    record.XInput[i] = settings.XInput;
}

} // namespace LimitRegisters

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "features/OptionRegisters.h"

#include "device/RegisterRules.h"

#include "base/FloatText.h"
#include "base/NumberText.h"
#include "base/PanelNumberText.h"

#include <charconv>
#include <cmath>
#include <string>

namespace OptionRegisters {

namespace {

const char *const Captions[BitCount] = {
    "Bit 0 - Invert encoder 1",
    "Bit 1 - Invert direction",
    "Bit 2 - Speed interpolation",
    "Bit 3 - Decrease integrator fast",
    "Bit 4 - PWM 35kHz (else 69kHz) ",
    "Bit 5 - Pull up/#down for limits",
    "Bit 6 - Save Pos. @ shut down",
    "Bit 7 - Leakage integrator",
    "Bit 8 - Hall sensors as encoder 1",
    "Bit 9 - Over current stop integrator",
    "Bit 10 - Use encoder 2",
    "Bit 11 - Invert encoder 2",
    "Bit 12 - Linear dead zone",
    "Bit 13 - 2 IO on address bus",
    "Bit 14 - Reserved",
    "Bit 15 - Reserved",
    "Bit 16 - Auto dissipation (else fixed)",
    "Bit 17 - Standby after pos. reached",
    "Bit 18 - Standby @ startup",
    "Bit 19 - Position sync with phases",
    "Bit 20 - Sync on 1 step (else 4 steps)",
    "Bit 21 - Goal input on full step",
    "Bit 22 - \u00B5Step interpolation",
    "Bit 23 - Reserved",
    "Bit 24 - Reserved",
};

/// A typed floating-point number as the edits read it: the locale separator,
/// an optional exponent, surrounding blanks. nullopt when unreadable.
std::optional<double> readFloat(const QString &typed)
{
    const QString text = typed.trimmed();
    const QChar separator = localeDecimalSeparator();
    if (text.isEmpty() || (separator != QLatin1Char('.') && text.contains(QLatin1Char('.'))))
        return std::nullopt;
    std::string plain;
    plain.reserve(size_t(text.size()));
    for (const QChar c : text) {
        if (c == separator)
            plain += '.';
        else if (c.unicode() < 128)
            plain += char(c.unicode());
        else
            return std::nullopt;
    }
    double value = 0;
    const char *last = plain.data() + plain.size();
    const auto [end, error] = std::from_chars(plain.data(), last, value);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

} // namespace

QString bitCaption(int bit)
{
    if (bit < 0 || bit >= BitCount)
        return {};
    return QString::fromUtf8(Captions[bit]);
}

uint32_t compose(const Bits &boxes)
{
    uint32_t value = 0;
    for (int bit = 0; bit < BitCount; ++bit)
        if (boxes[size_t(bit)])
            value |= 1u << bit;
    return value;
}

Bits decode(uint32_t value)
{
    Bits boxes{};
    for (int bit = 0; bit < BitCount; ++bit)
        boxes[size_t(bit)] = value & (1u << bit);
    return boxes;
}

std::optional<QString> cutToFiveDecimals(const QString &text)
{
    const qsizetype separator = text.indexOf(localeDecimalSeparator());
    if (separator < 0 || text.size() - separator - 1 <= 5)
        return std::nullopt;
    return text.left(separator + 6);
}

std::optional<int32_t> currentRaw(const QString &text, int32_t maxPeakCurrent)
{
    const std::optional<double> value = readFloat(text);
    if (!value || !std::isfinite(*value) || *value < 0.0)
        return std::nullopt;
    // Compared as a double first: "99999999" is 6.6e12 raw, far beyond 32 bits.
    const double raw = std::trunc(*value * 65536.0);
    if (!RegisterRules::currentMaxAllowed(raw, maxPeakCurrent))
        return std::nullopt;
    return int32_t(raw);
}

int32_t voltageRaw(int position)
{
    return int32_t(int64_t(position) * 65536 / 10);
}

QString voltageText(int position)
{
    return fixedText(position / 10.0, 10, 1);
}

std::optional<int32_t> inputLimit(const QString &text)
{
    const std::optional<int64_t> value = PanelNumberText::parseInteger(text, true);
    if (!value || !PanelNumberText::fitsInt32(*value))
        return std::nullopt;
    return int32_t(*value);
}

void inputLimitChanged(InputLimitEdits &edits, bool minEdited, bool typing)
{
    auto check = [&edits](bool isMin) {
        const std::optional<int32_t> own = inputLimit(isMin ? edits.minText : edits.maxText);
        bool &red = isMin ? edits.minRed : edits.maxRed;
        const bool otherRed = isMin ? edits.maxRed : edits.minRed;
        if (!own) {
            red = true;
            return;
        }
        const std::optional<int32_t> other = inputLimit(isMin ? edits.maxText : edits.minText);
        const int32_t min = isMin ? *own : other.value_or(*own);
        const int32_t max = isMin ? other.value_or(*own) : *own;
        red = !otherRed && other && !RegisterRules::inputLimitsAllowed(min, max);
    };
    if (typing)
        check(!minEdited);
    check(minEdited);
}

std::optional<std::pair<int32_t, int32_t>> inputLimitsToWrite(const QString &minText,
                                                              const QString &maxText)
{
    const std::optional<int32_t> min = inputLimit(minText);
    const std::optional<int32_t> max = inputLimit(maxText);
    if (!min || !max || !RegisterRules::inputLimitsAllowed(*min, *max))
        return std::nullopt;
    return std::make_pair(*min, *max);
}

std::optional<uint16_t> standbyValue(const QString &text)
{
    const std::optional<int64_t> value = PanelNumberText::parseInteger(text, true);
    if (!value || !RegisterRules::standbyAllowed(*value))
        return std::nullopt;
    return uint16_t(*value);
}

} // namespace OptionRegisters

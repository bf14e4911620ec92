// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Fuzzes register values as text: any bytes of any register through the
// typed reading and the trace form and back through the parsers, and any text
// through the value, trace and address parsers. What a parser accepts fits the
// register, and what the formatter shows parses back to the value it showed.
#include "device/RegisterTable.h"
#include "device/RegisterText.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool isInteger(ValueFormat format)
{
    return format == ValueFormat::U8 || format == ValueFormat::U16 || format == ValueFormat::U32
           || format == ValueFormat::S32;
}

bool isFixed(ValueFormat format)
{
    return format == ValueFormat::Fixed16_16 || format == ValueFormat::Fixed8_24;
}

int64_t bigEndian(const uint8_t *bytes, int count, bool isSigned)
{
    uint64_t v = 0;
    for (int i = 0; i < count; ++i)
        v = (v << 8) | bytes[i];
    if (isSigned && count == 4)
        return int32_t(uint32_t(v));
    return int64_t(v);
}

/// The value of a typed text: what the register's formatter shows parses back
/// to the raw value (fixed-point within the rounding of the shown decimals).
void checkRoundTrip(int address, const RegisterInfo &info, const std::vector<uint8_t> &bytes)
{
    const QString shown = RegisterText::value(address, bytes);
    const std::optional<int64_t> parsed = RegisterText::parse(address, shown);
    if (isInteger(info.format)) {
        check(parsed == bigEndian(bytes.data(), info.size, info.format == ValueFormat::S32));
    } else if (isFixed(info.format)) {
        const int64_t raw = bigEndian(bytes.data(), 4, true);
        if (address == 0x2E && raw == -1)
            check(!parsed); // "no limit"
        else
            check(parsed && std::llabs(*parsed - raw) <= 1);
    }
}

/// Bounds of what parse() may return for a register.
void checkParsed(const RegisterInfo &info, const QString &text, std::optional<int64_t> parsed)
{
    if (!parsed)
        return;
    if (info.format == ValueFormat::Command) {
        check(*parsed == 0);
        return;
    }
    check(*parsed >= INT32_MIN && *parsed <= int64_t(UINT32_MAX));
    const QString t = text.trimmed();
    // A hexadecimal text is never read with the opposite sign.
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        check(*parsed >= 0);
    if (t.startsWith(QLatin1String("-0x"), Qt::CaseInsensitive))
        check(*parsed <= 0);
    if (isInteger(info.format)) {
        const int bits = std::min(info.size, 4) * 8;
        check(*parsed >= -(int64_t(1) << (bits - 1)) && *parsed <= (int64_t(1) << bits) - 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // Byte 0: the address (some outside the table); byte 1: how many of the
    // following bytes are the register value; the rest is a typed text.
    const int address = data[0] % (RegisterCount + 4);
    const size_t valueBytes = std::min<size_t>(data[1] % 33, size - 2);
    const std::vector<uint8_t> bytes(data + 2, data + 2 + valueBytes);
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + 2 + valueBytes),
                                           qsizetype(size - 2 - valueBytes));

    // Formatting, and the trace form's round trip.
    const QString trace = RegisterText::trace(bytes);
    if (!bytes.empty())
        check(RegisterText::parseTrace(trace, int(bytes.size())) == bytes);
    (void)RegisterText::value(address, bytes);
    (void)RegisterText::versionText(bytes.size() >= 4 ? uint32_t(bigEndian(bytes.data(), 4, false))
                                                      : uint32_t(valueBytes));

    const RegisterInfo *info = registerInfo(address);
    if (info && info->address >= 0 && int(bytes.size()) >= info->size)
        checkRoundTrip(address, *info, bytes);

    // Parsing any text.
    const std::optional<int64_t> parsed = RegisterText::parse(address, text);
    if (!info || info->address < 0)
        check(!parsed);
    else
        checkParsed(*info, text, parsed);
    if (const std::optional<int> a = RegisterText::parseAddress(text))
        check(*a >= 0 && *a < RegisterCount);
    const int traceSize = info && info->size > 0 ? info->size : 1 + data[1] % 16;
    if (const auto traced = RegisterText::parseTrace(text, traceSize)) {
        check(int(traced->size()) == traceSize);
        check(RegisterText::parseTrace(RegisterText::trace(*traced), traceSize) == traced);
    }
    return 0;
}

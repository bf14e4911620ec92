// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/RegisterText.h"

#include "device/RegisterTable.h"

#include <QStringList>

#include <cctype>
#include <cmath>
#include <limits>

namespace RegisterText {

namespace {

uint64_t bigEndian(std::span<const uint8_t> bytes, size_t from, size_t count)
{
    uint64_t v = 0;
    for (size_t i = from; i < from + count && i < bytes.size(); ++i)
        v = (v << 8) | bytes[i];
    return v;
}

std::optional<int64_t> parseInteger(const QString &text)
{
    bool ok = false;
    const QString t = text.trimmed();
    const bool hex = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const bool negativeHex = t.startsWith(QLatin1String("-0x"), Qt::CaseInsensitive);
    if (!hex && !negativeHex) {
        const qint64 v = t.toLongLong(&ok, 10);
        return ok ? std::optional<int64_t>(v) : std::nullopt;
    }
    // Hexadecimal digits beyond the signed 64-bit range are refused, never
    // wrapped into a value of the other sign.
    const qulonglong magnitude = t.mid(negativeHex ? 3 : 2).toULongLong(&ok, 16);
    if (!ok || magnitude > qulonglong(std::numeric_limits<qint64>::max()))
        return std::nullopt;
    return negativeHex ? -qint64(magnitude) : qint64(magnitude);
}

} // namespace

QString trace(std::span<const uint8_t> bytes)
{
    QString out = QStringLiteral("[0x");
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            out += QLatin1Char(' ');
        out += QString::number(bytes[i], 16).rightJustified(2, QLatin1Char('0')).toUpper();
    }
    return out + QLatin1Char(']');
}

QString value(int address, std::span<const uint8_t> bytes)
{
    const RegisterInfo *info = registerInfo(address);
    if (!info || info->address < 0 || int(bytes.size()) < info->size)
        return trace(bytes);
    const auto s32 = [&](size_t at) { return int32_t(uint32_t(bigEndian(bytes, at, 4))); };
    switch (info->format) {
    case ValueFormat::Command:
        return QStringLiteral("(command)");
    case ValueFormat::U8:
    case ValueFormat::U16:
    case ValueFormat::U32:
        return QString::number(bigEndian(bytes, 0, size_t(info->size)));
    case ValueFormat::S32:
        return QString::number(s32(0));
    case ValueFormat::Fixed16_16:
        if (address == 0x2E && s32(0) == -1)
            return QStringLiteral("no limit");
        return QString::number(s32(0) / 65536.0, 'f', 5);
    case ValueFormat::Fixed8_24:
        return QString::number(s32(0) / 16777216.0, 'f', 8);
    case ValueFormat::Text: {
        QString text =
            QString::fromLatin1(reinterpret_cast<const char *>(bytes.data()), info->size);
        const qsizetype zero = text.indexOf(QChar(0));
        return QLatin1Char('"') + (zero >= 0 ? text.left(zero) : text) + QLatin1Char('"');
    }
    case ValueFormat::CurrentSense: {
        const auto s16 = [&](size_t at) {
            return int16_t(uint16_t(bigEndian(bytes, at, 2))) / 256.0;
        };
        return QStringLiteral("%1 %2 %3")
            .arg(s16(0), 0, 'f', 3)
            .arg(s16(2), 0, 'f', 3)
            .arg(s16(4), 0, 'f', 3);
    }
    default:
        return trace(bytes.first(size_t(info->size)));
    }
}

std::optional<int64_t> parse(int address, const QString &text)
{
    const RegisterInfo *info = registerInfo(address);
    if (!info || info->address < 0)
        return std::nullopt;
    if (info->format == ValueFormat::Command)
        return 0;
    if (info->format == ValueFormat::Fixed16_16 || info->format == ValueFormat::Fixed8_24) {
        bool ok = false;
        const double v = text.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v))
            return std::nullopt;
        const double raw =
            std::trunc(v * (info->format == ValueFormat::Fixed16_16 ? 65536.0 : 16777216.0));
        if (raw < double(std::numeric_limits<int32_t>::min())
            || raw > double(std::numeric_limits<int32_t>::max()))
            return std::nullopt;
        return int64_t(raw);
    }
    const std::optional<int64_t> v = parseInteger(text);
    if (!v)
        return std::nullopt;
    const int bits = std::min(info->size, 4) * 8;
    const int64_t min = -(int64_t(1) << (bits - 1)); // negative texts write two's complement bytes
    const int64_t max = (int64_t(1) << bits) - 1;
    if (*v < min || *v > max)
        return std::nullopt;
    return v;
}

std::optional<std::vector<uint8_t>> parseTrace(const QString &text, int size)
{
    const QString t = text.trimmed();
    // Refuse long texts unread: three characters a byte at most.
    if (size <= 0 || t.size() > 3 * size + 8 || !t.startsWith(QLatin1String("[0x"), Qt::CaseInsensitive)
        || !t.endsWith(QLatin1Char(']')))
        return std::nullopt;
    const QStringList parts =
        t.mid(3, t.size() - 4).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != size)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    bytes.reserve(size_t(size));
    for (const QString &part : parts) {
        if (part.size() != 2 || !isxdigit(uchar(part.at(0).toLatin1()))
            || !isxdigit(uchar(part.at(1).toLatin1())))
            return std::nullopt;
        bytes.push_back(uint8_t(part.toUInt(nullptr, 16)));
    }
    return bytes;
}

QString versionText(uint32_t version)
{
    const uint32_t b3 = version >> 24;
    if (b3 != 0)
        return QStringLiteral("Hw %1.%2 Fw %3.%4")
            .arg(b3)
            .arg((version >> 16) & 0xFF)
            .arg((version >> 8) & 0xFF)
            .arg(version & 0xFF);
    return QStringLiteral("Ver %1.%2").arg(version >> 16).arg(version & 0xFFFF);
}

std::optional<int> parseAddress(const QString &text)
{
    const std::optional<int64_t> v = parseInteger(text);
    if (!v || *v < 0 || *v >= RegisterCount)
        return std::nullopt;
    return int(*v);
}

} // namespace RegisterText

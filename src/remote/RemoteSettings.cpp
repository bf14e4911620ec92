// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "remote/RemoteSettings.h"

#include "base/Diagnostics.h"
#include "base/FloatText.h"
#include "base/NumberText.h"
#include "panel/ChartScaling.h"
#include "platform/IniFile.h"
#include "platform/RegularFile.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <cfloat>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

const char *const SourceName = "RemoteSettings";
const char *const LoadFunction = "TFormKRVRemote::LoadRemoteSettings";

const QString HeaderSection = QStringLiteral("File Header");
const QString VersionKey = QStringLiteral("File version");
const QString FactorKey = QStringLiteral("Conversion pulses vers micromètres");
const QString PresetPrefix = QStringLiteral("Préréglage ");
const QString WaveLengthKey = QStringLiteral("Longueur d'onde");
const QString PositionKey = QStringLiteral("Position");
constexpr int MaxPresets = 100;

constexpr int32_t MaxAdjustmentHundredths = 20000; // 200 um

/// A header number: the locale's decimal separator, or ".".
std::optional<double> headerNumber(const IniFile &ini, const QString &key)
{
    if (!ini.valueExists(HeaderSection, key))
        return std::nullopt;
    const QString text = ini.readString(HeaderSection, key, QString());
    if (auto value = IniFile::parseFloat(text, localeDecimalSeparator()))
        return value;
    return IniFile::parseFloat(text, QLatin1Char('.'));
}

/// How the bytes of a file without a UTF-16 mark read as UTF-8.
enum class Utf8Reading { Plain, Utf8, NotUtf8, Mixed };

/// Length of the well-formed UTF-8 sequence at \a i, 0 when there is none.
qsizetype utf8SequenceAt(QByteArrayView bytes, qsizetype i)
{
    const uchar lead = uchar(bytes[i]);
    qsizetype length = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong form
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (qsizetype k = 1; k < length; ++k) {
        const uchar c = uchar(bytes[i + k]);
        if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}

Utf8Reading utf8Reading(QByteArrayView bytes)
{
    bool sequences = false;
    bool strays = false;
    for (qsizetype i = 0; i < bytes.size();) {
        if (uchar(bytes[i]) < 0x80) {
            ++i;
        } else if (const qsizetype length = utf8SequenceAt(bytes, i)) {
            sequences = true;
            i += length;
        } else {
            strays = true;
            ++i;
        }
    }
    if (sequences)
        return strays ? Utf8Reading::Mixed : Utf8Reading::Utf8;
    return strays ? Utf8Reading::NotUtf8 : Utf8Reading::Plain;
}

/// \a text handed to IniFile as UTF-16LE, which it reads without loss.
IniFile iniOfText(QString text)
{
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QByteArray wide;
    wide.reserve(2 + text.size() * 2);
    wide.append(char(0xFF)).append(char(0xFE));
    for (QChar c : std::as_const(text))
        wide.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    IniFile ini;
    ini.loadFromBytes(wide);
    return ini;
}

} // namespace

QString remoteSettingsPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/KRVRemote.ini");
}

std::optional<IniFile> remoteSettingsIni(QByteArrayView bytes)
{
    const auto startsWith = [&](uchar a, uchar b) {
        return bytes.size() >= 2 && uchar(bytes[0]) == a && uchar(bytes[1]) == b;
    };
    if (startsWith(0xFF, 0xFE)) { // UTF-16LE, as IniFile reads it
        IniFile ini;
        ini.loadFromBytes(bytes);
        return ini;
    }
    if (startsWith(0xFE, 0xFF)) {
        QStringDecoder decoder(QStringDecoder::Utf16BE, QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(bytes);
        if (decoder.hasError() || bytes.size() % 2 != 0)
            return std::nullopt;
        return iniOfText(text);
    }
    // A text file of this kind holds no zero byte: UTF-16 without its mark.
    if (bytes.contains('\0'))
        return std::nullopt;
    switch (utf8Reading(bytes)) {
    case Utf8Reading::Mixed:
        return std::nullopt;
    case Utf8Reading::Utf8:
        return iniOfText(QString::fromUtf8(bytes));
    case Utf8Reading::Plain:
    case Utf8Reading::NotUtf8:
        break;
    }
    IniFile ini;
    ini.loadFromBytes(bytes);
    return ini;
}

bool LoadRemoteSettings(const IniFile &ini, RemoteSettings &settings,
                        RemoteSettingsMessage &message, const QString &origin)
{
    message = RemoteSettingsMessage::None;
    settings.Presets.clear();

    if (ini.sectionExists(HeaderSection)) {
        if (headerNumber(ini, VersionKey).value_or(0.0) != 1.0) {
            message = RemoteSettingsMessage::BadVersion;
            return false;
        }
        // A factor that is not finite, beyond a 32-bit float, negative, or
        // positive but too small for the displays is refused, and the one in
        // force stays.
        const double factor = headerNumber(ini, FactorKey).value_or(-1.0);
        if (!std::isfinite(factor) || factor < 0 || factor > double(FLT_MAX)
            || (factor > 0 && factor < MinimumPositiveFactor)) {
            message = RemoteSettingsMessage::BadFactor;
            return false;
        }
        settings.PulsesPerMicrometre = float(factor) + 0.0f; // no "-0"
    }

    for (int i = 0; i < MaxPresets; ++i) {
        const QString section = PresetPrefix + QString::number(i);
        if (!ini.sectionExists(section))
            break;
        QLMCKRVRemoteSettings preset;
        preset.WaveLengthText = ini.readString(section, WaveLengthKey, QStringLiteral("0"));
        const QString positionText = ini.readString(section, PositionKey, QStringLiteral("0"));
        const std::optional<int32_t> position = IniFile::parseInteger(positionText);
        if (!position)
            LogMessage(SourceName, __LINE__, LoadFunction, LogOutput::Default, LogLevelError,
                       LogActionNone,
                       QStringLiteral("%1 [%2] Position \"%3\" is not an integer: 0 is used")
                           .arg(origin, section, positionText.left(64)));
        preset.PresetPosition = position.value_or(0);
        if (settings.Presets.empty()) {
            settings.PresetMax = preset.PresetPosition;
            settings.PresetMin = preset.PresetPosition;
        } else {
            settings.PresetMax = std::max(settings.PresetMax, preset.PresetPosition);
            settings.PresetMin = std::min(settings.PresetMin, preset.PresetPosition);
        }
        settings.Presets.push_back(std::move(preset));
    }

    // 64 bits: the range of two 32-bit positions may exceed 32 bits; 5 % of it does not.
    const int64_t range = std::llabs(int64_t(settings.PresetMax) - int64_t(settings.PresetMin));
    settings.PresetMargin = int32_t(std::trunc(double(range) * 0.05));
    return true;
}

bool LoadRemoteSettingsBytes(QByteArrayView bytes, RemoteSettings &settings,
                             RemoteSettingsMessage &message, const QString &origin)
{
    const std::optional<IniFile> ini = remoteSettingsIni(bytes);
    if (!ini) {
        LogMessage(SourceName, __LINE__, LoadFunction, LogOutput::Default, LogLevelError,
                   LogActionNone,
                   QStringLiteral("settings file %1 is neither Windows-1252, UTF-8 nor UTF-16 "
                                  "with its mark: no presets")
                       .arg(origin));
        settings.Presets.clear();
        message = RemoteSettingsMessage::Undecodable;
        return false;
    }
    return LoadRemoteSettings(*ini, settings, message, origin);
}

bool LoadRemoteSettingsFile(const QString &path, RemoteSettings &settings,
                            RemoteSettingsMessage &message)
{
    // Only a regular file is read: a FIFO of that name would block the window.
    RegularFileRead file = readRegularFile(path, IniFile::MaxFileSize);
    if (file.status == RegularFileRead::Status::Read && file.bytes.size() > IniFile::MaxFileSize) {
        file.status = RegularFileRead::Status::Failed;
        file.detail = QStringLiteral("larger than %1 bytes").arg(IniFile::MaxFileSize);
    }
    if (file.status != RegularFileRead::Status::Read) {
        const QString reason = file.status == RegularFileRead::Status::Missing
                                   ? QStringLiteral("missing")
                               : file.status == RegularFileRead::Status::NotRegular
                                   ? QStringLiteral("not a regular file: ") + file.detail
                                   : file.detail;
        LogMessage(SourceName, __LINE__, LoadFunction, LogOutput::Default, LogLevelError,
                   LogActionNone,
                   QStringLiteral("settings file %1 not read (%2): no presets").arg(path, reason));
        file.bytes.clear();
    }
    return LoadRemoteSettingsBytes(file.bytes, settings, message, path);
}

QString remoteSettingsMessageText(RemoteSettingsMessage message)
{
    switch (message) {
    case RemoteSettingsMessage::BadVersion:
        return QStringLiteral("Version du fichier ini KRV Remote non valide.");
    case RemoteSettingsMessage::BadFactor:
        return QStringLiteral("Constante de conversion pulses vers micromètres non valide ou "
                              "non trouvée dans le fichier ini.");
    case RemoteSettingsMessage::Undecodable:
        return QStringLiteral("Le fichier ini KRV Remote ne peut pas être décodé (codage de "
                              "caractères inconnu).");
    case RemoteSettingsMessage::None:
        break;
    }
    return {};
}

QString pulseFactorText(float pulsesPerMicrometre)
{
    return fixedText(pulsesPerMicrometre, 8, 3);
}

std::optional<int32_t> adjustmentPulses(int64_t hundredths, float pulsesPerMicrometre)
{
    const double pulses = std::trunc(double(hundredths) * double(pulsesPerMicrometre) / 100.0);
    if (!std::isfinite(pulses) || pulses < double(std::numeric_limits<int32_t>::min())
        || pulses > double(std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    return int32_t(pulses);
}

AdjustmentEdit adjustmentEdit(const QString &text, QChar separator)
{
    AdjustmentEdit result;
    result.text = text;
    const qsizetype dot = result.text.indexOf(separator);
    if (dot >= 0 && result.text.size() - dot - 1 > 2) {
        result.text.truncate(dot + 3);
        result.caretToEnd = true;
    }
    constexpr qsizetype MaxLength = 6;
    if (!isNumberText(result.text, false, true, separator) || result.text.size() > MaxLength) {
        if (result.text.size() > MaxLength) {
            result.text.truncate(MaxLength);
            result.caretToEnd = true;
        }
        return result;
    }

    // Digits and at most one separator with at most two decimals: exact hundredths.
    const qsizetype cut = result.text.indexOf(separator);
    const QString whole = cut < 0 ? result.text : result.text.left(cut);
    QString decimals = cut < 0 ? QString() : result.text.mid(cut + 1);
    if (whole.isEmpty() && decimals.isEmpty())
        return result; // a lone separator is no number
    decimals = decimals.leftJustified(2, QLatin1Char('0'));
    const int64_t hundredths = whole.toLongLong() * 100 + decimals.toLongLong();
    if (hundredths > MaxAdjustmentHundredths)
        return result;
    result.valid = true;
    result.hundredths = hundredths;
    return result;
}

std::optional<MicrometreAxis> micrometreAxis(bool zoomed, int32_t positionPulses,
                                             int zoomMicrometres, const RemoteSettings &settings)
{
    const float factor = settings.PulsesPerMicrometre;
    MicrometreAxis axis;
    if (zoomed) {
        const double centre = ChartScaling::micrometres(positionPulses, factor);
        axis = {centre - zoomMicrometres - 0.1, centre + zoomMicrometres + 0.1};
    } else {
        axis = {ChartScaling::micrometres(double(settings.PresetMin) - settings.PresetMargin, factor),
                ChartScaling::micrometres(double(settings.PresetMax) + settings.PresetMargin, factor)};
    }
    if (!std::isfinite(axis.minimum) || !std::isfinite(axis.maximum) || axis.minimum > axis.maximum)
        return std::nullopt;
    return axis;
}

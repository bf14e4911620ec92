#include "remote/RemoteSettings.h"

#include "base/Diagnostics.h"
#include "base/FloatText.h"
#include "base/NumberText.h"
#include "panel/ChartScaling.h"
#include "platform/IniFile.h"

#include <QCoreApplication>
#include <QFile>
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

bool hasMultiByteSequence(QByteArrayView bytes)
{
    for (char c : bytes)
        if (uchar(c) >= 0x80)
            return true;
    return false;
}

} // namespace

QString remoteSettingsPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/KRVRemote.ini");
}

IniFile remoteSettingsIni(QByteArrayView bytes)
{
    IniFile ini;
    const bool utf16 = bytes.size() >= 2 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xFE;
    if (!utf16 && hasMultiByteSequence(bytes)) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder.decode(bytes);
        if (!decoder.hasError()) {
            if (text.startsWith(QChar(0xFEFF)))
                text.remove(0, 1);
            // Handed over as UTF-16LE, which IniFile reads without loss.
            QByteArray wide;
            wide.reserve(2 + text.size() * 2);
            wide.append(char(0xFF)).append(char(0xFE));
            for (QChar c : std::as_const(text))
                wide.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
            ini.loadFromBytes(wide);
            return ini;
        }
    }
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
        // A factor that is not finite, beyond a 32-bit float or negative is
        // refused, and the one in force stays.
        const double factor = headerNumber(ini, FactorKey).value_or(-1.0);
        if (!std::isfinite(factor) || factor < 0 || factor > double(FLT_MAX)) {
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

bool LoadRemoteSettingsFile(const QString &path, RemoteSettings &settings,
                            RemoteSettingsMessage &message)
{
    QFile file(path);
    QByteArray bytes;
    if (!file.exists() || !file.open(QIODevice::ReadOnly) || file.size() > IniFile::MaxFileSize) {
        LogMessage(SourceName, __LINE__, LoadFunction, LogOutput::Default, LogLevelError,
                   LogActionNone,
                   QStringLiteral("settings file %1 not read (%2): no presets")
                       .arg(path, file.exists() ? QStringLiteral("unreadable or too large")
                                                : QStringLiteral("missing")));
    } else {
        bytes = file.read(IniFile::MaxFileSize);
    }
    return LoadRemoteSettings(remoteSettingsIni(bytes), settings, message, path);
}

QString remoteSettingsMessageText(RemoteSettingsMessage message)
{
    switch (message) {
    case RemoteSettingsMessage::BadVersion:
        return QStringLiteral("Version du fichier ini KRV Remote non valide.");
    case RemoteSettingsMessage::BadFactor:
        return QStringLiteral("Constante de conversion pulses vers micromètres non valide ou "
                              "non trouvée dans le fichier ini.");
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

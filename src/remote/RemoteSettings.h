// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/IniFile.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

/// One wavelength preset of "KRVRemote.ini": the text shown in the list and
/// the axis position it stands for, in pulses.
struct QLMCKRVRemoteSettings
{
    QString WaveLengthText = QStringLiteral("0");
    int32_t PresetPosition = -1;
};

/// What the wavelength remote keeps from its settings file. Kept between
/// loads: a rejected header leaves the factor in force, a file without
/// presets leaves PresetMax and PresetMin as they were.
struct RemoteSettings
{
    float PulsesPerMicrometre = 1.0f;
    std::vector<QLMCKRVRemoteSettings> Presets;
    int32_t PresetMax = 0;
    int32_t PresetMin = 0;
    int32_t PresetMargin = 0;
};

/// The message box a load asks for (caption "Erreur").
enum class RemoteSettingsMessage { None, BadVersion, BadFactor, Undecodable };

/// The smallest positive factor: the factor display (three decimals) shows a
/// smaller one as 0.000, and micrometre positions divided by it leave every
/// display (1e-45 makes a 32-bit position 1.5e54 um, beyond a float). With it
/// a 32-bit position stays within 4.3e12 um. 0 stays accepted (no micrometre
/// values at all).
inline constexpr double MinimumPositiveFactor = 0.0005;

/// The settings file beside the executable: the application folder + "/KRVRemote.ini".
QString remoteSettingsPath();

/// The file's text as an INI file: FF FE is UTF-16LE and FE FF UTF-16BE;
/// bytes that are valid UTF-8 and hold at least one multi-byte sequence (what
/// editors here save) read as UTF-8 (a UTF-8 byte-order mark dropped); other
/// bytes as Windows-1252. None when the bytes are none of these: zero bytes
/// (UTF-16 without its mark), UTF-8 sequences mixed with bytes that are not
/// UTF-8, or a broken UTF-16BE text.
std::optional<IniFile> remoteSettingsIni(QByteArrayView bytes);

/// Reads \a ini into \a settings: the "File Header" checks (version 1, a
/// factor 0, or from MinimumPositiveFactor up to the largest 32-bit float,
/// read with the locale's decimal separator or "."), then the sections
/// "Préréglage 0" .. "Préréglage 99" up to the first missing one. Presets are
/// emptied first. Returns false on a rejected header (no preset read, the
/// factor unchanged) and sets \a message. \a origin names the file in the log
/// lines of positions that are not integers.
bool LoadRemoteSettings(const IniFile &ini, RemoteSettings &settings,
                        RemoteSettingsMessage &message, const QString &origin = QString());

/// remoteSettingsIni() then LoadRemoteSettings(); bytes that cannot be decoded
/// give no presets, leave the factor and ask for the Undecodable message.
bool LoadRemoteSettingsBytes(QByteArrayView bytes, RemoteSettings &settings,
                             RemoteSettingsMessage &message, const QString &origin = QString());

/// LoadRemoteSettingsBytes() on the file at \a path. A missing or unreadable
/// file, or one that is not a regular file, reads as having no sections
/// (logged with its path, no message).
bool LoadRemoteSettingsFile(const QString &path, RemoteSettings &settings,
                            RemoteSettingsMessage &message);

/// The French text of \a message (empty for None).
QString remoteSettingsMessageText(RemoteSettingsMessage message);

/// The factor as shown beside "Pulses to [um] factor :" (3 decimals).
QString pulseFactorText(float pulsesPerMicrometre);

/// Pulses for an adjustment of \a hundredths hundredths of a micrometre
/// (negative: towards lower positions): trunc(hundredths x factor / 100),
/// computed in double from the exact hundredths. None when the result is not
/// finite or leaves 32 bits.
std::optional<int32_t> adjustmentPulses(int64_t hundredths, float pulsesPerMicrometre);

/// What the adjustment edit shows after a change of its text.
struct AdjustmentEdit
{
    QString text;           ///< the text to show (cut when too long)
    bool caretToEnd = false; ///< the text was cut: the caret goes to its end
    bool valid = false;     ///< "+" and "-" enabled, normal colour
    int64_t hundredths = -1; ///< the value in hundredths of a micrometre when valid
};

/// The adjustment edit rule for \a text with the decimal separator \a separator:
/// more than two decimals are cut; a text that is not a plain unsigned number
/// or longer than 6 characters is invalid (cut to 6 when longer); a number
/// outside 0 .. 200 is invalid.
AdjustmentEdit adjustmentEdit(const QString &text, QChar separator);

/// Bounds of the micrometre chart's left axis.
struct MicrometreAxis
{
    double minimum = 0;
    double maximum = 0;
};

/// Zoomed: the position in micrometres +/- (zoom + 0.1). Otherwise the presets'
/// range with its margin, in micrometres (computed in double, so no 32-bit
/// overflow near the ends). None when the factor gives no finite bounds
/// (factor 0): the axis stays as it is.
std::optional<MicrometreAxis> micrometreAxis(bool zoomed, int32_t positionPulses,
                                             int zoomMicrometres, const RemoteSettings &settings);

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The wavelength remote's settings file: any bytes through the encoding
// detection, IniFile and the loader; then the conversions it feeds.
#include "platform/IniFile.h"
#include "remote/RemoteSettings.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    RemoteSettings settings;
    settings.PulsesPerMicrometre = 2.5f;
    RemoteSettingsMessage message = RemoteSettingsMessage::None;
    const bool loaded = LoadRemoteSettingsBytes(
        QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), settings, message);
    const float factor = settings.PulsesPerMicrometre;
    if (settings.Presets.size() > 100 || settings.PresetMin > settings.PresetMax
        || settings.PresetMargin < 0 || !std::isfinite(factor) || factor < 0
        || (factor > 0 && factor < MinimumPositiveFactor)
        || loaded != (message == RemoteSettingsMessage::None))
        __builtin_trap();
    for (const QLMCKRVRemoteSettings &preset : settings.Presets)
        if (preset.PresetPosition < settings.PresetMin || preset.PresetPosition > settings.PresetMax)
            __builtin_trap();
    if (const auto axis = micrometreAxis(false, 0, 1, settings); axis && axis->minimum > axis->maximum)
        __builtin_trap();
    (void)adjustmentPulses(20000, factor);
    (void)adjustmentPulses(-20000, factor);
    return 0;
}

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/RemoteCommands.h"

#include "base/FloatText.h"
#include "cli/CliContext.h"
#include "remote/RemoteSettings.h"

#include <QFileInfo>

namespace RemoteCommands {

namespace {

int run(CliContext &c)
{
    QTextStream &out = c.out;
    const QString path = c.arguments().value(0);
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return c.fail(CliExit::BadFile, QStringLiteral("cannot read %1").arg(path));
    ::RemoteSettings settings;
    RemoteSettingsMessage message = RemoteSettingsMessage::None;
    if (!LoadRemoteSettingsFile(path, settings, message)) {
        // The window's message; exit 1 as the window refuses the file (not a usage error).
        c.err << "tarvine-cli: " << remoteSettingsMessageText(message) << Qt::endl;
        return 1;
    }
    out << "factor " << pulseFactorText(settings.PulsesPerMicrometre) << " pulses/um" << Qt::endl;
    out << "presets " << settings.Presets.size() << " (min " << settings.PresetMin << ", max "
        << settings.PresetMax << ", margin " << settings.PresetMargin << ")" << Qt::endl;
    for (size_t i = 0; i < settings.Presets.size(); ++i)
        out << i << ' ' << settings.Presets[i].WaveLengthText << " -> "
            << settings.Presets[i].PresetPosition << Qt::endl;
    if (const auto axis = micrometreAxis(false, 0, 1, settings))
        out << "axis " << fixedText(axis->minimum, 15, 1) << " .. " << fixedText(axis->maximum, 15, 1)
            << " um" << Qt::endl;
    else
        out << "axis unchanged (no micrometre values with factor 0)" << Qt::endl;
    return CliExit::Ok;
}

} // namespace

const CliCommand RemoteSettings{"remote-settings", "remote-settings FILE",
                                "the factor, presets and micrometre chart range the wavelength "
                                "remote loads from FILE",
                                CliNeeds::Nothing, &run, nullptr,
                                "1 a header the window rejects (its message), 6 FILE unreadable"};

} // namespace RemoteCommands

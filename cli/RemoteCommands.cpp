#include "cli/RemoteCommands.h"

#include "base/FloatText.h"
#include "remote/RemoteSettings.h"

#include <QFileInfo>

namespace RemoteCommands {

bool handles(const QString &command)
{
    return command == QLatin1String("remote-settings");
}

QString checkArguments(const QStringList &arguments)
{
    return arguments.size() == 1 ? QString() : QStringLiteral("remote-settings needs one FILE");
}

QString usage()
{
    return QStringLiteral(
        "  remote-settings FILE          the factor, presets and micrometre chart range the\n"
        "                                wavelength remote loads from FILE (no --ip); a\n"
        "                                rejected header prints its message, exit 1\n");
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const QString path = arguments.value(0);
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        err << "tarvine-cli: cannot read " << path << Qt::endl;
        return BadFile;
    }
    RemoteSettings settings;
    RemoteSettingsMessage message = RemoteSettingsMessage::None;
    if (!LoadRemoteSettingsFile(path, settings, message)) {
        err << "tarvine-cli: " << remoteSettingsMessageText(message) << Qt::endl;
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
    return 0;
}

} // namespace RemoteCommands

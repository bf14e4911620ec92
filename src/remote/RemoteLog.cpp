// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "remote/RemoteLog.h"

#include "base/CsvField.h"
#include "base/Diagnostics.h"
#include "base/FloatText.h"
#include "base/NumberText.h"
#include "panel/ChartScaling.h"
#include "remote/RemoteSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const char *const SourceName = "RemoteLog";

/// fixedText() with the decimal separator of \a locale in place of the system's.
QString localFixed(double value, int precision, int decimals, const QLocale &locale)
{
    QString text = fixedText(value, precision, decimals);
    const QString point = locale.decimalPoint();
    const QChar separator = point.isEmpty() ? QLatin1Char('.') : point.at(0);
    text.replace(localeDecimalSeparator(), separator);
    return text;
}

QString micrometreField(float value, const QLocale &locale)
{
    return std::isfinite(value) ? localFixed(value, 7, 1, locale) : QString();
}


} // namespace

void RemoteLog::start()
{
    m_logging = false;
    std::vector<QLMCKRVLogData>().swap(m_samples);
    m_logging = true;
}

RemoteLog::Capture RemoteLog::add(int32_t positionPulses, int32_t consignPulses,
                                  float pulsesPerMicrometre, const QString &waveLength,
                                  int64_t elapsedMs)
{
    if (!m_logging)
        return Capture::Ignored;
    QLMCKRVLogData sample;
    sample.PositionPulses = positionPulses;
    sample.PositionMicrometres = float(ChartScaling::micrometres(positionPulses, pulsesPerMicrometre));
    sample.ConsignPulses = consignPulses;
    sample.ConsignMicrometres = float(ChartScaling::micrometres(consignPulses, pulsesPerMicrometre));
    sample.WaveLengthConsign = waveLength;
    sample.ElapsedMs = int32_t(std::clamp<int64_t>(elapsedMs, std::numeric_limits<int32_t>::min(),
                                                   std::numeric_limits<int32_t>::max()));
    m_samples.push_back(std::move(sample));
    if (m_samples.size() < m_capacity)
        return Capture::Added;
    m_logging = false;
    LogMessage(SourceName, __LINE__, "TFormKRVRemote::logSample", LogOutput::Default,
               LogLevelInfo, LogActionNone,
               QStringLiteral("motion log full at %1 samples: capture stopped").arg(m_capacity));
    return Capture::Full;
}

QString remotePositionText(int32_t positionPulses, float pulsesPerMicrometre)
{
    const double value = ChartScaling::micrometres(positionPulses, pulsesPerMicrometre);
    return std::isfinite(value) ? fixedText(value, 15, 1) : QStringLiteral("-");
}

QByteArray remoteLogCsv(const std::vector<QLMCKRVLogData> &samples, float pulsesPerMicrometre,
                        const QDateTime &when, const QLocale &locale)
{
    const QLatin1String end("\r\n");
    QString text;
    text += QStringLiteral("Logfile from Tarvine KRV - Remote") + end + end;
    text += QStringLiteral("File export date and time : ")
            + locale.toString(when, QStringLiteral("dd'-'MMM'-'yyyy")) + QStringLiteral(" - ")
            + locale.toString(when, QStringLiteral("HH':'mm':'ss")) + end + end;
    text += QStringLiteral("Pulses to [um] factor : ")
            + localFixed(pulsesPerMicrometre, 8, 3, locale) + end + end;
    text += QStringLiteral("Elapsed time [ms];Position [pulses];Position [um];Consign [pulses];"
                           "Consign[um];WaveLength consign [nm]")
            + end;
    QByteArray bytes("\xEF\xBB\xBF");
    bytes.reserve(qsizetype(text.size() + samples.size() * 48));
    bytes += text.toUtf8();
    for (const QLMCKRVLogData &s : samples) {
        const QString line = QString::number(s.ElapsedMs) + QLatin1Char(';')
                             + QString::number(s.PositionPulses) + QLatin1Char(';')
                             + micrometreField(s.PositionMicrometres, locale) + QLatin1Char(';')
                             + QString::number(s.ConsignPulses) + QLatin1Char(';')
                             + micrometreField(s.ConsignMicrometres, locale) + QLatin1Char(';')
                             + csvField(s.WaveLengthConsign, QLatin1Char(';')) + end;
        bytes += line.toUtf8();
    }
    return bytes;
}

QString remoteLogFilter()
{
    return QStringLiteral("csv files (*.csv)");
}

QString remoteLogExportName(const QString &chosen)
{
    return chosen.endsWith(QLatin1String(".csv"), Qt::CaseSensitive)
               ? chosen
               : chosen + QStringLiteral(".csv");
}

RemoteLogExport exportRemoteLog(const QString &path, const QByteArray &bytes)
{
    const QFileInfo target(path);
    if (target.exists()
        && (target.isDir() || !target.permission(QFileDevice::WriteOwner | QFileDevice::WriteUser)))
        return {RemoteLogExport::Locked,
                QStringLiteral("Le fichier est déjà ouvert dans une autre application.")};
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return {};
    const QString reason = file.errorString();
    file.cancelWriting();
    LogMessage(SourceName, __LINE__, "TFormKRVRemote::BKRVExportLogFileClick", LogOutput::Default,
               LogLevelError, LogActionNone,
               QStringLiteral("log export to %1 failed: %2").arg(path, reason));
    return {RemoteLogExport::Failed,
            QStringLiteral("Le fichier %1 n'a pas pu être écrit (%2).")
                .arg(QDir::toNativeSeparators(path), reason)};
}

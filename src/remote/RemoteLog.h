// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <vector>

/// One sample of the wavelength remote's motion log.
struct QLMCKRVLogData
{
    int32_t PositionPulses = 0;
    float PositionMicrometres = 0; ///< NaN when the factor gives no value (factor 0)
    int32_t ConsignPulses = 0;
    float ConsignMicrometres = 0;  ///< NaN as above
    QString WaveLengthConsign;
    int32_t ElapsedMs = 0;         ///< milliseconds since the log's start
};

/// The motion log: while logging, one sample per chart sample, at most
/// a fixed number of them (then capture stops as "Stop" does).
class RemoteLog
{
public:
    static constexpr size_t DefaultCapacity = size_t(1) << 22;

    explicit RemoteLog(size_t capacity = DefaultCapacity) : m_capacity(capacity) {}

    /// "Start": frees every sample and starts capturing.
    void start();
    /// "Stop": capture ends, the samples stay for the export.
    void stop() { m_logging = false; }
    bool logging() const { return m_logging; }

    enum class Capture { Ignored, Added, Full };
    /// Adds a sample while logging: position and consign in pulses and divided
    /// by \a pulsesPerMicrometre, \a waveLength, \a elapsedMs (clamped to 32 bits).
    /// Full: this sample filled the log, capture has stopped.
    Capture add(int32_t positionPulses, int32_t consignPulses, float pulsesPerMicrometre,
                const QString &waveLength, int64_t elapsedMs);

    const std::vector<QLMCKRVLogData> &samples() const { return m_samples; }
    size_t capacity() const { return m_capacity; }

private:
    size_t m_capacity;
    bool m_logging = false;
    std::vector<QLMCKRVLogData> m_samples;
};

/// The position read-out: position / factor with one decimal, "-" when there is no value.
QString remotePositionText(int32_t positionPulses, float pulsesPerMicrometre);

/// The export file's bytes: a UTF-8 byte-order mark, the seven header lines
/// (export date and time \a when in \a locale, the factor) and one
/// ";"-separated line per sample, every line ended by CR LF. Micrometre
/// values have one decimal and the decimal separator of \a locale (empty
/// without a value); a wavelength holding ";" or a quote is quoted.
QByteArray remoteLogCsv(const std::vector<QLMCKRVLogData> &samples, float pulsesPerMicrometre,
                        const QDateTime &when, const QLocale &locale);

/// The save dialog's filter.
QString remoteLogFilter();
/// \a chosen with ".csv" appended unless it ends in exactly ".csv".
QString remoteLogExportName(const QString &chosen);

/// What an export did.
struct RemoteLogExport
{
    enum Outcome { Written, Locked, Failed } outcome = Written;
    QString message; ///< the box text for Locked and Failed
};

/// Writes \a bytes to \a path through a temporary file beside it that replaces
/// the target only once complete: a failure leaves the old file as it was.
/// Locked: the target exists and cannot be replaced (a folder, or no write
/// permission), nothing written.
RemoteLogExport exportRemoteLog(const QString &path, const QByteArray &bytes);

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReadCycleObserver.h"
#include "device/RegisterLock.h"
#include "record/LiveRecord.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QIODevice;
class QLMCSession;

/// Records the polled read cycles into a CSV file (see LiveRecordFormat).
///
/// The decoder hands each cycle to record() while it holds the RegisterLock
/// (the session calls the recorder as its ReadCycleObserver);
/// the sample goes into a bounded single-producer queue and the call returns
/// at once. When the queue is full the sample is dropped and counted: the
/// decoder never waits for the file. A writer thread drains the queue every
/// few milliseconds, writes whole lines only and flushes the file every second,
/// so a crash loses at most the last second. stop() drains what is queued,
/// writes the closing line with the dropped count and closes the file.
///
/// A write error (a full disk) ends the writing: the lines written so far stay,
/// failed() turns true with the reason, and the owner stops the recording.
class LiveRecorder : public ReadCycleObserver
{
public:
    static constexpr size_t DefaultCapacity = 4096; ///< 8 s at 500 cycles a second
    static constexpr int DrainIntervalMs = 20;
    static constexpr int FlushIntervalMs = 1000;

    /// \a lock is the RegisterLock under which the decoder calls record().
    explicit LiveRecorder(RegisterLock &lock, size_t capacity = DefaultCapacity);
    /// Records the read cycles \a session decodes: registers with it as its
    /// read-cycle observer until destroyed (the recorder must not outlive it).
    explicit LiveRecorder(QLMCSession &session, size_t capacity = DefaultCapacity);
    ~LiveRecorder() override;
    LiveRecorder(const LiveRecorder &) = delete;
    LiveRecorder &operator=(const LiveRecorder &) = delete;

    /// Opens \a path (created or truncated) and writes the header line. False,
    /// with the reason in \a error, when the file cannot be written; nothing is
    /// recorded then. A running recording is stopped first.
    bool start(const QString &path, const RecordUnits &units, QString *error = nullptr);
    /// The same on an open, writable \a device (taken over; tests).
    bool start(std::unique_ptr<QIODevice> device, const QString &name, const RecordUnits &units,
               QString *error = nullptr);
    /// Ends the recording: the queued lines, the closing line, the file closed.
    /// Nothing happens when none runs.
    void stop();

    /// A started recording not stopped yet (also after a write error).
    bool isRunning() const { return m_running.load(); }

    /// One polled read cycle (decoder, under the RegisterLock). Never blocks.
    void record(const LiveSample &sample);
    /// ReadCycleObserver: record() of the cycle's sample.
    void readCycleDecoded(const ReceivedValues &values, int64_t ticks,
                          const QLMCIPMotor &image) override;

    struct Progress
    {
        QString fileName;
        int64_t lines = 0;   ///< data lines written
        int64_t bytes = 0;   ///< bytes written, header included
        int64_t dropped = 0; ///< samples the full queue refused
        bool failed = false; ///< a write error ended the writing
        QString error;       ///< its reason
    };
    /// The figures so far (or of the last recording once stopped).
    Progress progress() const;

private:
    bool begin(std::unique_ptr<QIODevice> device, const QString &name, const RecordUnits &units,
               QString *error);
    void writerLoop();
    bool drain(QByteArray &buffer);
    bool writeOut(const QByteArray &bytes);
    void fail(const QString &reason);

    RegisterLock &m_lock;
    QLMCSession *m_session = nullptr; ///< observed, when built on a session
    // The queue: the producer (whoever holds the RegisterLock) moves m_head,
    // the writer m_tail; each slot is handed over by the release/acquire pair.
    std::vector<LiveSample> m_slots;
    std::atomic<uint64_t> m_head{0};
    std::atomic<uint64_t> m_tail{0};
    std::atomic<int64_t> m_dropped{0};
    bool m_accepting = false; ///< guarded by the RegisterLock

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    std::thread m_writer;
    // Writer-owned while it runs.
    std::unique_ptr<QIODevice> m_device;
    int64_t m_startTicks = 0;
    bool m_stepperUnits = false;

    mutable std::mutex m_progressMutex;
    Progress m_progress;
};

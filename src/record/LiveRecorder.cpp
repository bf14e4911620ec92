// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "record/LiveRecorder.h"

#include "device/QLMCSession.h"
#include "platform/HighResCounter.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <cstring>

#include <unistd.h>

namespace {

QString describe(const QIODevice &device)
{
    const QString text = device.errorString();
    return text.isEmpty() ? QStringLiteral("write error") : text;
}

} // namespace

LiveRecorder::LiveRecorder(RegisterLock &lock, size_t capacity)
    : m_lock(lock)
    , m_slots(std::max<size_t>(capacity, 1))
{}

LiveRecorder::LiveRecorder(QLMCSession &session, size_t capacity)
    : LiveRecorder(session.lock(), capacity)
{
    m_session = &session;
    session.addReadCycleObserver(this);
}

LiveRecorder::~LiveRecorder()
{
    // A running recording ends with its closing line.
    stop();
    if (m_session)
        m_session->removeReadCycleObserver(this);
}

bool LiveRecorder::start(const QString &path, const RecordUnits &units, QString *error)
{
    stop();
    auto file = std::make_unique<QFile>(path);
    // Unbuffered: every drain goes to the system at once, and a full disk
    // shows at the write that meets it.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2")
                         .arg(QFileInfo(path).absoluteFilePath(), file->errorString());
        return false;
    }
    return begin(std::move(file), path, units, error);
}

bool LiveRecorder::start(std::unique_ptr<QIODevice> device, const QString &name,
                         const RecordUnits &units, QString *error)
{
    stop();
    if (!device || !device->isWritable()) {
        if (error)
            *error = QStringLiteral("Cannot write %1").arg(name);
        return false;
    }
    return begin(std::move(device), name, units, error);
}

bool LiveRecorder::begin(std::unique_ptr<QIODevice> device, const QString &name,
                         const RecordUnits &units, QString *error)
{
    m_device = std::move(device);
    m_stepperUnits = units.stepperUnits;
    {
        std::lock_guard guard(m_progressMutex);
        m_progress = Progress{};
        m_progress.fileName = name;
    }
    const QByteArray header = LiveRecordFormat::header(units);
    if (!writeOut(header)) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(name, progress().error);
        m_device.reset();
        return false;
    }
    {
        RegisterLockGuard guard(m_lock);
        m_head.store(0, std::memory_order_relaxed);
        m_tail.store(0, std::memory_order_relaxed);
        m_dropped.store(0, std::memory_order_relaxed);
        m_startTicks = HighResCounter::now();
        m_stopRequested = false;
        m_running = true;
        m_writer = std::thread([this] { writerLoop(); });
        m_accepting = true;
    }
    return true;
}

void LiveRecorder::stop()
{
    if (!m_running.load())
        return;
    {
        // Once this hold ends no decoder is inside record(): the queue is the writer's.
        RegisterLockGuard guard(m_lock);
        m_accepting = false;
    }
    m_stopRequested = true;
    if (m_writer.joinable())
        m_writer.join();
    m_device.reset();
    {
        std::lock_guard guard(m_progressMutex);
        m_progress.dropped = m_dropped.load();
    }
    m_running = false;
}

void LiveRecorder::readCycleDecoded(const ReceivedValues &values, int64_t ticks,
                                    const QLMCIPMotor &image)
{
    record(LiveSample::from(values, ticks,
                            [&image](int address) { return image.registerAt(address)->received(); }));
}

void LiveRecorder::record(const LiveSample &sample)
{
    RegisterLockGuard guard(m_lock); // held already by the decoder
    if (!m_accepting)
        return;
    const uint64_t head = m_head.load(std::memory_order_relaxed);
    if (head - m_tail.load(std::memory_order_acquire) >= m_slots.size()) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    m_slots[head % m_slots.size()] = sample;
    m_head.store(head + 1, std::memory_order_release);
}

LiveRecorder::Progress LiveRecorder::progress() const
{
    std::lock_guard guard(m_progressMutex);
    Progress p = m_progress;
    if (m_running.load())
        p.dropped = m_dropped.load();
    return p;
}

bool LiveRecorder::drain(QByteArray &buffer)
{
    uint64_t tail = m_tail.load(std::memory_order_relaxed);
    const uint64_t head = m_head.load(std::memory_order_acquire);
    int64_t lines = 0;
    for (; tail != head; ++tail, ++lines) {
        const LiveSample &s = m_slots[tail % m_slots.size()];
        buffer += LiveRecordFormat::line(s, HighResCounter::elapsedMs(m_startTicks, s.ticks),
                                         m_stepperUnits);
    }
    m_tail.store(tail, std::memory_order_release);
    if (buffer.isEmpty())
        return true;
    const int64_t before = progress().bytes;
    const bool written = writeOut(buffer);
    buffer.clear();
    std::lock_guard guard(m_progressMutex);
    if (written) {
        m_progress.lines += lines;
    } else if (auto *file = qobject_cast<QFile *>(m_device.get()); file && file->resize(before)) {
        // A disk that filled in the middle of these lines: the file ends
        // with the last whole line.
        m_progress.bytes = before;
    }
    return written;
}

bool LiveRecorder::writeOut(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 n = m_device->write(data, left);
        if (n <= 0) {
            fail(describe(*m_device));
            return false;
        }
        data += n;
        left -= n;
        std::lock_guard guard(m_progressMutex);
        m_progress.bytes += n;
    }
    return true;
}

void LiveRecorder::fail(const QString &reason)
{
    std::lock_guard guard(m_progressMutex);
    m_progress.failed = true;
    m_progress.error = reason;
}

void LiveRecorder::writerLoop()
{
    using namespace std::chrono;
    QByteArray buffer;
    auto lastFlush = steady_clock::now();
    bool ok = true;
    while (ok && !m_stopRequested.load()) {
        std::this_thread::sleep_for(milliseconds(DrainIntervalMs));
        ok = drain(buffer);
        if (ok && steady_clock::now() - lastFlush >= milliseconds(FlushIntervalMs)) {
            lastFlush = steady_clock::now();
            // The lines reach the disk, not only the system's cache.
            if (auto *file = qobject_cast<QFile *>(m_device.get()); file && file->handle() >= 0)
                ok = ::fdatasync(file->handle()) == 0 || errno == EINVAL;
            if (!ok)
                fail(QString::fromLocal8Bit(strerror(errno)));
        }
    }
    if (!ok)
        return; // the lines written so far stay; nothing more is written
    // Stopped: no decoder adds any more; the rest and the closing line.
    if (drain(buffer) && writeOut(LiveRecordFormat::trailer(progress().lines, m_dropped.load())))
        if (auto *file = qobject_cast<QFile *>(m_device.get()); file && file->handle() >= 0)
            ::fdatasync(file->handle());
}

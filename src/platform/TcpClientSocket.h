// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

class QSocketNotifier;

/// An event-driven TCP client: connect, disconnect, error and receive events
/// are signals delivered on the thread that owns the object (the
/// user-interface thread); send() may be called from any thread.
class TcpClientSocket : public QObject
{
    Q_OBJECT

public:
    explicit TcpClientSocket(QObject *parent = nullptr);
    ~TcpClientSocket() override;

    /// Starts a non-blocking connect to \a address (dotted IPv4) and \a port.
    /// The outcome arrives as connected() or errorOccurred(). Returns false
    /// when the connect could not even start (errorOccurred() follows too).
    bool open(const QString &address, quint16 port);
    /// Closes the socket; disconnected() follows when it was active.
    void close();

    /// True from open() until the socket is closed (connecting or connected).
    bool isActive() const { return m_fd.load() >= 0; }
    /// True while the connection is established.
    bool isConnected() const { return m_connected.load(); }

    /// Sends all \a size bytes (blocking briefly when the kernel buffer is full).
    /// Safe from any thread; false when not connected or the send failed.
    bool send(const uint8_t *data, size_t size);

    /// The bytes received since the last call (used by the receive event).
    /// Reading resumes if it had stopped because the pending bytes were at
    /// their limit.
    QByteArray readAll();

    /// Bounds the work of one receive event (\a perEvent bytes read, then
    /// back to the event loop; the notifier fires again while more is waiting)
    /// and the bytes held for readAll() (\a pending: once reached, nothing more
    /// is read until readAll() takes them, so the kernel's window holds the
    /// peer back). Both 64 KiB unless set; at least 1.
    void setReceiveLimits(size_t perEvent, size_t pending);
    /// The most bytes held for readAll() at once since open() (for measurements).
    size_t largestPending() const { return m_largestPending; }
    /// Drops the connection as a failed one (a peer the caller gave up on):
    /// the socket closes and errorOccurred(\a error) follows, not disconnected().
    void abort(int error);

signals:
    void connected();
    void disconnected();
    /// \a error is the system error number.
    void errorOccurred(int error);
    /// Bytes arrived; read them with readAll().
    void readyRead();

private:
    void onWritable();
    void onReadable();
    void shutdownSocket(bool notify);

    std::atomic<int> m_fd{-1};
    std::atomic<bool> m_connected{false};
    std::mutex m_sendMutex; // send() against close() on another thread
    QByteArray m_pending;   // received, not yet taken by readAll()
    size_t m_readPerEvent = 65536;
    size_t m_pendingLimit = 65536;
    size_t m_largestPending = 0;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
};

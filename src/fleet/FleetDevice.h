// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ModelProfile.h"
#include "fleet/FleetTargets.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QLMCConnection;
class QLMCSession;

/// How a fleet run talks to each controller.
struct FleetSettings
{
    int jobs = 0;                ///< controllers at once (0: FleetRunner::defaultJobs())
    int limitMs = 20000;         ///< the whole operation on one controller
    int answerTimeoutMs = 250;   ///< one answer is awaited this long before it counts as lost
    quint16 tcpPort = 8010;
    /// The change journal each controller's writes are appended to (empty: none).
    QString journalPath;
    /// Called from the workers while they wait: true ends every wait at once
    /// (the run is being stopped). Empty: never.
    std::function<bool()> abort;
};

/// Why a controller's row did not succeed.
enum class FleetStatus {
    Ok,
    Unreachable,  ///< refused, no route, closed or reset by the controller
    Unanswered,   ///< no answer, or not every register within the limit
    Refused,      ///< a device type this tool does not support
    Skipped,      ///< left out (another model than asked for)
    FileFailed,   ///< its file could not be written
    Differs,      ///< it differs from the reference file
    ValueRefused, ///< the rule book refused a value; nothing was written
    NotTaken,     ///< written, but the read-back shows other values (or no write answer)
};

/// One controller's link in a fleet run: its own session, connection, lock
/// and sender. Lives on the worker thread that made it (a QThread, so its
/// sockets and timers run there) and waits by running that thread's events.
/// Every wait ends at the controller's deadline.
class FleetDevice : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;
    /// A register that does not come is asked for at most this many times.
    static constexpr int ReadRounds = 3;

    FleetDevice(const FleetTarget &target, const FleetSettings &settings,
                Clock::time_point deadline);
    ~FleetDevice() override;

    /// Opens the link, waits for the identification and its read of every
    /// register. False with status() and why() set.
    bool open();
    /// Reads \a addresses afresh: asks again for those not received since this
    /// call until each came (at most ReadRounds times), the link is lost or
    /// the deadline passes. Returns the addresses still missing, unreadable
    /// ones among them (empty: all came in this connection).
    std::vector<int> read(const std::vector<int> &addresses);
    /// Waits until no request is pending and no answer awaited (the writes set
    /// are sent and answered); false when the link was lost or the deadline passed.
    bool settle();
    /// Moves the deadline to \a ms from now (a link that lives on, polled).
    void extendDeadline(int ms);
    /// Sets status() and why() from the link after a failed step: lost, or
    /// \a what went unanswered.
    void failed(const QString &what);

    FleetStatus status() const { return m_status; }
    const QString &why() const { return m_why; }
    const ModelProfile &profile() const { return m_profile; }
    QLMCSession &session() { return *m_session; }
    QLMCConnection &connection() { return *m_connection; }
    /// True once the link was refused, closed or reset.
    bool lost() const;
    /// "0x07,0x08,0x33": the first eight, then how many more (one line).
    static QString addressList(const std::vector<int> &addresses);

private:
    /// Runs this thread's events until \a done or the deadline; false at the deadline.
    bool waitFor(const std::function<bool()> &done);
    void close();

    FleetTarget m_target;
    FleetSettings m_settings;
    Clock::time_point m_deadline;
    std::unique_ptr<QLMCSession> m_session;
    std::unique_ptr<QLMCConnection> m_connection;
    ModelProfile m_profile;
    bool m_identified = false;
    bool m_refused = false;
    FleetStatus m_status = FleetStatus::Ok;
    QString m_why;
};

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "files/ParameterFile.h"
#include "fleet/FleetRunner.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class DiscoveryNetwork;
class QThread;

/// One controller as the Fleet window shows it: its target, its last state
/// and the values it sent in the present connection (none while it is not
/// reachable).
struct FleetMonitorRow
{
    enum class State { Connecting, Live, Failed };

    FleetTarget target;
    State state = State::Connecting;
    QString reason; ///< why it failed (State::Failed)
    /// list's fields (FleetOperations::listFields) the controller sent.
    std::vector<std::pair<QString, QString>> fields;

    QString field(const QString &name) const;
};

/// The model of the Fleet window, free of widgets: finds the controllers
/// (discovery, on a worker thread), keeps one link to each on a worker thread
/// of its own that reads its live state a few times a second, and runs the
/// fleet operations (save all, compare with a file, send a file) over
/// FleetRunner. Nothing here blocks the thread the monitor lives on: the
/// workers publish under a mutex and the monitor's tick, on its own thread,
/// emits what changed.
///
/// While an operation runs, the live links are closed (a controller may take
/// one connection only) and opened again after it.
class FleetMonitor : public QObject
{
    Q_OBJECT

public:
    /// Each controller's live registers are read at this interval.
    static constexpr int PollIntervalMs = 300;
    /// An unreachable controller is tried again after this long.
    static constexpr int RetryMs = 3000;
    /// What the tick collects at this interval (the window's refresh).
    static constexpr int TickMs = 200;

    enum class Operation { None, Discovery, SaveAll, Compare, Preview, Send };

    explicit FleetMonitor(FleetSettings settings = {}, QObject *parent = nullptr);
    ~FleetMonitor() override;

    /// Discovery through \a network (not owned) on \a port, the controllers'
    /// links on \a tcpPort, from now on (tests, the benchmark); otherwise the
    /// tool's own (makeDiscoveryNetwork, ports 7010 and 8010).
    void useNetwork(DiscoveryNetwork *network, uint16_t port, int waitMs, uint16_t tcpPort);

    /// Closes every link and finds the controllers anew (on a worker thread);
    /// discovered() follows. False while an operation runs.
    bool discover();
    /// Follows \a targets (instead of a discovery).
    void setTargets(const std::vector<FleetTarget> &targets);
    /// Closes every live link (the rows stay).
    void stop();

    std::vector<FleetMonitorRow> rows() const;
    bool busy() const { return m_operation != Operation::None; }

    /// The operations, on the controllers at \a indexes (all for saveAll); the
    /// rows of the result come with operationFinished(). False while another runs.
    bool saveAll(const QString &folder);
    bool compare(const ParameterFileContent &reference, const std::vector<int> &indexes);
    /// What send() would change on each controller: a diff with the file,
    /// controllers of another model skipped.
    bool previewSend(const ParameterFileContent &content, const std::vector<int> &indexes);
    bool send(const ParameterFileContent &content, const std::vector<int> &indexes);

    /// Runs the tick now (tests).
    void tick();

signals:
    /// A discovery ended with these rows (its error, empty when it worked).
    void discovered(const QString &error);
    /// Rows at \a indexes changed (their state or values).
    void rowsChanged(const QList<int> &indexes);
    /// An operation ran: done, total, failed so far.
    void operationProgress(FleetMonitor::Operation operation, int done, int total, int failed);
    void operationFinished(FleetMonitor::Operation operation, const std::vector<FleetRow> &rows,
                           const QString &error);

private:
    void startPolling();
    /// Tells the live links to close and returns at once (a link may be in
    /// the middle of a read): their threads end on their own.
    void stopPolling();
    /// Waits until every link told to close has closed (a worker, before it
    /// connects: a controller may take one connection only).
    void waitForClosedLinks();
    /// Waits for the threads of the links told to close, and deletes them.
    void joinStoppedPolls();
    void pollLoop(size_t index, const FleetTarget &target,
                  const std::shared_ptr<std::atomic<bool>> &stop);
    /// Keeps \a row unless the poll that read it was told to stop meanwhile.
    void publish(size_t index, FleetMonitorRow row, const std::atomic<bool> &stop);
    bool startOperation(Operation operation, const std::vector<int> &indexes,
                        FleetRunner::Operation work,
                        const std::function<QString(const std::vector<FleetRow> &)> &after = {});
    /// Sleeps \a ms, returning early (false) once \a stop is set.
    bool pause(int ms, const std::atomic<bool> &stop);

    FleetSettings m_settings;
    DiscoveryNetwork *m_network = nullptr;
    uint16_t m_discoveryPort;
    int m_discoveryWaitMs = 500;

    mutable std::mutex m_mutex; // guards everything below up to m_workerDone
    std::vector<FleetMonitorRow> m_rows;
    std::vector<bool> m_changed;
    int m_done = 0;
    int m_total = 0;
    int m_failed = 0;
    bool m_workerDone = false;
    std::vector<FleetRow> m_result;
    QString m_error;
    std::vector<FleetTarget> m_found;
    int m_openLinks = 0; ///< poll threads not yet ended, their links open

    Operation m_operation = Operation::None; // on the monitor's thread only
    std::unique_ptr<QThread> m_worker;       // discovery or an operation
    std::vector<std::unique_ptr<QThread>> m_polls;
    std::vector<std::unique_ptr<QThread>> m_stoppedPolls; // told to stop, perhaps still closing
    std::shared_ptr<std::atomic<bool>> m_pollsStop;       // the running polls' stop flag
    std::atomic<bool> m_stopWorker{false};
    std::condition_variable m_wake; // wakes the polls' pauses when they are to stop
    std::condition_variable m_linksClosed; // a poll thread ended
    QTimer m_tick;
};

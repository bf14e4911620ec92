// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "fleet/FleetMonitor.h"

#include "discovery/DiscoveryNetworkChoice.h"
#include "discovery/QLMCScanQuelmoDevice.h"
#include "fleet/FleetOperations.h"

#include <QThread>

#include <chrono>
#include <numeric>

QString FleetMonitorRow::field(const QString &name) const
{
    for (const auto &[key, value] : fields)
        if (key == name)
            return value;
    return {};
}

FleetMonitor::FleetMonitor(FleetSettings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_discoveryPort(QLMCScanQuelmoDevice::DefaultPort)
{
    m_tick.setInterval(TickMs);
    connect(&m_tick, &QTimer::timeout, this, &FleetMonitor::tick);
    m_tick.start();
}

FleetMonitor::~FleetMonitor()
{
    m_tick.stop();
    stopPolling();
    if (m_worker) {
        m_stopWorker = true;
        m_worker->wait();
    }
    joinStoppedPolls();
    // Each poll thread's last act is to signal m_linksClosed under m_mutex.
    // Taking the mutex once more orders that signal before the condition
    // variable is destroyed, by a lock ThreadSanitizer sees, not on
    // QThread::wait alone.
    waitForClosedLinks();
}

void FleetMonitor::useNetwork(DiscoveryNetwork *network, uint16_t port, int waitMs,
                              uint16_t tcpPort)
{
    m_settings.tcpPort = tcpPort;
    m_network = network;
    m_discoveryPort = port;
    m_discoveryWaitMs = waitMs;
}

std::vector<FleetMonitorRow> FleetMonitor::rows() const
{
    std::lock_guard lock(m_mutex);
    return m_rows;
}

void FleetMonitor::setTargets(const std::vector<FleetTarget> &targets)
{
    stopPolling();
    {
        std::lock_guard lock(m_mutex);
        m_rows.clear();
        for (const FleetTarget &target : targets)
            m_rows.push_back({target, FleetMonitorRow::State::Connecting, {}, {}});
        m_changed.assign(m_rows.size(), false);
    }
    startPolling();
}

void FleetMonitor::stop()
{
    stopPolling();
}

bool FleetMonitor::discover()
{
    if (busy())
        return false;
    stopPolling();
    m_operation = Operation::Discovery;
    m_stopWorker = false;
    {
        std::lock_guard lock(m_mutex);
        m_workerDone = false;
        m_error.clear();
    }
    DiscoveryNetwork *network = m_network;
    const uint16_t port = m_discoveryPort;
    const int waitMs = m_discoveryWaitMs;
    m_worker.reset(QThread::create([this, network, port, waitMs] {
        waitForClosedLinks();
        // The engine and its sockets belong to this thread.
        std::unique_ptr<DiscoveryNetwork> own = network ? nullptr : makeDiscoveryNetwork();
        QLMCScanQuelmoDevice engine(waitMs, network ? *network : *own, port);
        const bool sent = engine.scanQuelmoDevice();
        std::vector<FleetTarget> found = FleetTargets::fromDiscovery(engine.DeviceList);
        std::lock_guard lock(m_mutex);
        m_found = std::move(found);
        if (m_found.empty())
            m_error = sent ? QStringLiteral("no controller answered the discovery")
                           : QStringLiteral("the discovery could not be sent");
        m_workerDone = true;
    }));
    m_worker->start();
    return true;
}

void FleetMonitor::startPolling()
{
    joinStoppedPolls();
    auto stop = std::make_shared<std::atomic<bool>>(false);
    std::vector<FleetTarget> targets;
    {
        std::lock_guard lock(m_mutex);
        for (const FleetMonitorRow &row : m_rows)
            targets.push_back(row.target);
        m_openLinks += int(targets.size());
        m_pollsStop = stop;
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        m_polls.emplace_back(QThread::create([this, i, target = targets[i], stop] {
            pollLoop(i, target, stop);
            std::lock_guard lock(m_mutex);
            --m_openLinks;
            m_linksClosed.notify_all();
        }));
        m_polls.back()->start();
    }
}

void FleetMonitor::stopPolling()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_pollsStop)
            *m_pollsStop = true;
        m_pollsStop.reset();
    }
    m_wake.notify_all();
    for (auto &thread : m_polls)
        m_stoppedPolls.push_back(std::move(thread));
    m_polls.clear();
}

void FleetMonitor::waitForClosedLinks()
{
    std::unique_lock lock(m_mutex);
    m_linksClosed.wait(lock, [this] { return m_openLinks == 0; });
}

void FleetMonitor::joinStoppedPolls()
{
    for (auto &thread : m_stoppedPolls)
        thread->wait();
    m_stoppedPolls.clear();
}

bool FleetMonitor::pause(int ms, const std::atomic<bool> &stop)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms), [&stop] { return stop.load(); });
    return !stop;
}

void FleetMonitor::publish(size_t index, FleetMonitorRow row, const std::atomic<bool> &stop)
{
    std::lock_guard lock(m_mutex);
    if (stop || index >= m_rows.size())
        return;
    FleetMonitorRow &old = m_rows[index];
    if (old.state == row.state && old.reason == row.reason && old.fields == row.fields)
        return;
    row.target = old.target;
    old = std::move(row);
    m_changed[index] = true;
}

void FleetMonitor::pollLoop(size_t index, const FleetTarget &target,
                            const std::shared_ptr<std::atomic<bool>> &stop)
{
    FleetSettings settings = m_settings;
    settings.abort = [stop] { return stop->load(); };
    const FleetRunner runner(settings);
    auto live = [&](const FleetRow &row) {
        return FleetMonitorRow{target, FleetMonitorRow::State::Live, {}, row.fields};
    };
    while (!*stop) {
        const FleetRow ended = runner.runOne(target, [&](FleetDevice &device, FleetRow &row) {
            FleetOperations::list(device, row);
            while (row.ok()) {
                publish(index, live(row), *stop);
                if (!pause(PollIntervalMs, *stop))
                    return;
                device.extendDeadline(settings.limitMs);
                row = FleetRow();
                row.target = target;
                FleetOperations::list(device, row); // the live values afresh
            }
        });
        if (*stop)
            break;
        publish(index, {target, FleetMonitorRow::State::Failed, ended.reason, {}}, *stop);
        pause(RetryMs, *stop);
    }
}

bool FleetMonitor::startOperation(
    Operation operation, const std::vector<int> &indexes, FleetRunner::Operation work,
    const std::function<QString(const std::vector<FleetRow> &)> &after)
{
    if (busy())
        return false;
    std::vector<FleetTarget> targets;
    {
        std::lock_guard lock(m_mutex);
        for (int i : indexes)
            if (i >= 0 && size_t(i) < m_rows.size())
                targets.push_back(m_rows[size_t(i)].target);
        m_done = 0;
        m_total = int(targets.size());
        m_failed = 0;
        m_workerDone = false;
        m_result.clear();
        m_error.clear();
    }
    // A controller may take one connection only: the live links close meanwhile.
    stopPolling();
    m_operation = operation;
    m_stopWorker = false;
    FleetSettings settings = m_settings;
    settings.abort = [this] { return m_stopWorker.load(); };
    m_worker.reset(QThread::create([this, targets, work, after, settings] {
        waitForClosedLinks();
        const FleetRunner runner(settings);
        std::vector<FleetRow> rows =
            runner.run(targets, work, [this](int done, int total, int failed) {
                std::lock_guard lock(m_mutex);
                m_done = done;
                m_total = total;
                m_failed = failed;
            });
        const QString error = after ? after(rows) : QString();
        std::lock_guard lock(m_mutex);
        m_result = std::move(rows);
        m_error = error;
        m_workerDone = true;
    }));
    m_worker->start();
    return true;
}

bool FleetMonitor::saveAll(const QString &folder)
{
    std::vector<int> all(rows().size());
    std::iota(all.begin(), all.end(), 0);
    return startOperation(
        Operation::SaveAll, all,
        [folder](FleetDevice &device, FleetRow &row) {
            FleetOperations::save(device, row, folder);
        },
        [folder](const std::vector<FleetRow> &rows) {
            QString error;
            if (!FleetOperations::writeIndex(folder, rows, &error))
                return QStringLiteral("the index was not written: ") + error;
            return QString();
        });
}

bool FleetMonitor::compare(const ParameterFileContent &reference, const std::vector<int> &indexes)
{
    return startOperation(Operation::Compare, indexes,
                          [reference](FleetDevice &device, FleetRow &row) {
                              FleetOperations::diff(device, row, reference);
                          });
}

bool FleetMonitor::previewSend(const ParameterFileContent &content, const std::vector<int> &indexes)
{
    const QString model = FleetOperations::fileModel(content);
    return startOperation(
        Operation::Preview, indexes,
        FleetOperations::onlyModel(model.isEmpty() ? QStringLiteral("(none)") : model,
                                   [content](FleetDevice &device, FleetRow &row) {
                                       FleetOperations::diff(device, row, content);
                                   }));
}

bool FleetMonitor::send(const ParameterFileContent &content, const std::vector<int> &indexes)
{
    return startOperation(Operation::Send, indexes, [content](FleetDevice &device, FleetRow &row) {
        FleetOperations::send(device, row, content, false, QStringLiteral("Fleet window"));
    });
}

void FleetMonitor::tick()
{
    QList<int> changed;
    bool done;
    int progress[3];
    {
        std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < m_changed.size(); ++i)
            if (m_changed[i]) {
                m_changed[i] = false;
                changed << int(i);
            }
        done = m_workerDone;
        progress[0] = m_done;
        progress[1] = m_total;
        progress[2] = m_failed;
    }
    if (!changed.isEmpty())
        emit rowsChanged(changed);
    if (m_operation == Operation::None)
        return;
    if (!done) {
        if (m_operation != Operation::Discovery)
            emit operationProgress(m_operation, progress[0], progress[1], progress[2]);
        return;
    }
    m_worker->wait();
    m_worker.reset();
    const Operation finished = m_operation;
    m_operation = Operation::None;
    std::vector<FleetRow> result;
    QString error;
    std::vector<FleetTarget> found;
    {
        std::lock_guard lock(m_mutex);
        result = std::move(m_result);
        error = m_error;
        found = std::move(m_found);
        m_workerDone = false;
    }
    if (finished == Operation::Discovery) {
        setTargets(found);
        emit discovered(error);
        return;
    }
    startPolling();
    emit operationFinished(finished, result, error);
}

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "fleet/FleetDevice.h"
#include "fleet/FleetTargets.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

/// One controller's result: success, or why not; the values the operation
/// reports (received in this connection only) and its detail lines.
struct FleetRow
{
    FleetTarget target;
    FleetStatus status = FleetStatus::Ok;
    QString reason; ///< why not, one line; empty on success
    /// Named values in output order ("mac", "model", ...); a value the device
    /// did not send is absent, never guessed.
    std::vector<std::pair<QString, QString>> fields;
    QStringList details; ///< e.g. the differing registers

    bool ok() const { return status == FleetStatus::Ok; }
    /// Neither ok, nor left out (Skipped), nor a comparison's result (Differs).
    bool failed() const
    {
        return !ok() && status != FleetStatus::Skipped && status != FleetStatus::Differs;
    }
    QString field(const QString &name) const;
    void setField(const QString &name, const QString &value);
};

/// Runs one operation over a set of controllers, at most `jobs` at once, each
/// on its own worker thread with its own session and link. A controller gets
/// at most `limitMs` for all of it, so one slow or dead controller holds one
/// worker for that long and never the others. Rows come back in target order.
class FleetRunner
{
public:
    /// Called on a worker thread with the opened controller; fills the row
    /// (status, reason, fields, details).
    using Operation = std::function<void(FleetDevice &device, FleetRow &row)>;
    /// Called on the calling thread while the run goes on and once at its end.
    using Progress = std::function<void(int done, int total, int failed)>;

    explicit FleetRunner(FleetSettings settings);

    /// Controllers at once when none is asked: mostly waiting on the network,
    /// so several per processor, at most 64.
    static int defaultJobs();
    int jobs() const;

    std::vector<FleetRow> run(const std::vector<FleetTarget> &targets, const Operation &operation,
                              const Progress &progress = {}) const;

    /// Opens one controller and runs \a operation on the calling thread (which
    /// runs its events while it waits); the row says why not on failure.
    FleetRow runOne(const FleetTarget &target, const Operation &operation) const;

private:
    FleetSettings m_settings;
};

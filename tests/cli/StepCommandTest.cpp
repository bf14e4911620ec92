// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-cli step against the virtual controller: a settled position step
// with its figures, one that cannot settle in time (exit 8), usage errors.
#include "cli/CliCommand.h"
#include "cli/CliExit.h"
#include "record/StepResponse.h"
#include "sim/SimServer.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace {

using testsupport::CliResult;
using testsupport::runCli;

class StepCli : public ::testing::Test
{
protected:
    std::unique_ptr<SimServer> server;

    void SetUp() override
    {
        SimServerConfig config;
        config.bindAddress = "127.0.0.46";
        config.tcpPort = 0;
        config.udpPort = 0;
        server = std::make_unique<SimServer>(
            config, std::make_shared<SimController>(*parseSimModel("NETEC-A"), SimIdentity{}));
        ASSERT_TRUE(server->start());
    }
    CliResult run(const QStringList &args)
    {
        return runCli(QStringList{"--ip", QString::fromStdString(server->address()), "--port",
                                  QString::number(server->tcpPort())}
                      + args);
    }
    static QJsonObject json(const CliResult &r)
    {
        return QJsonDocument::fromJson(r.out.toUtf8()).object();
    }
};

TEST_F(StepCli, APositionStepSettlesWithItsFigures)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("step.csv");
    const CliResult r = run({"step", "--to", "2000", "--mode", "position", "--csv", csv, "--json"});
    ASSERT_EQ(r.code, CliExit::Ok) << r.err.toStdString();
    const QJsonObject o = json(r);
    EXPECT_TRUE(o["settled"].toBool());
    EXPECT_EQ(o["to"].toDouble(), 2000);
    EXPECT_GT(o["rise_time_s"].toDouble(), 0);
    EXPECT_GE(o["settling_time_s"].toDouble(), o["rise_time_s"].toDouble());
    // The trajectory at the model's acceleration and top speed (2000 p/s):
    // distance / top + top / acceleration, give or take the sample period.
    const double acceleration = o["acceleration"].toDouble();
    EXPECT_EQ(o["top_speed"].toDouble(), 2000);
    ASSERT_GT(acceleration, 0);
    EXPECT_TRUE(o["peak_current_a"].isDouble());
    QStringList documented = findCliCommand("step")->jsonFields();
    documented.sort();
    EXPECT_EQ(o.keys(), documented);

    // The samples: decode times in seconds from the step, rising.
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    EXPECT_EQ(lines[0], "Time [s],Position,Desired state,Current [A]");
    ASSERT_GT(lines.size(), 200);
    double previous = -1e9;
    double widestGap = 0; // the trajectory's end is known to a sample period
    for (int i = 1; i + 1 < lines.size(); ++i) {
        const double t = lines[i].split(',')[0].toDouble();
        EXPECT_GE(t, previous) << i;
        if (i > 1)
            widestGap = std::max(widestGap, t - previous);
        previous = t;
    }
    EXPECT_LT(lines[1].split(',')[0].toDouble(), 0);
    EXPECT_GT(previous, 1);
    EXPECT_NEAR(o["trajectory_s"].toDouble(), 2000.0 / 2000 + 2000 / acceleration,
                0.02 + widestGap);

    // The figures computed again from the recording file agree with the
    // printed ones: to a sample period for times (the file holds milliseconds),
    // to 0.5 % of the step for the overshoot.
    std::vector<StepSample> recorded;
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cells = lines[i].split(',');
        if (cells.size() < 4)
            continue;
        recorded.push_back({cells[0].toDouble(), cells[1].toDouble(), cells[2].toDouble(),
                            cells[3].toDouble()});
    }
    const StepFigures again = StepResponse::analyse(
        recorded, {o["from"].toDouble(), o["to"].toDouble(), 0.0});
    ASSERT_TRUE(again.settled);
    const double period = 0.005;
    EXPECT_NEAR(*again.riseTime, o["rise_time_s"].toDouble(), period);
    EXPECT_NEAR(*again.settlingTime, o["settling_time_s"].toDouble(), period);
    EXPECT_NEAR(*again.overshootPercent, o["overshoot_percent"].toDouble(), 0.5);
    EXPECT_NEAR(*again.trajectoryTime, o["trajectory_s"].toDouble(), period);
}

TEST_F(StepCli, AStepThatCannotSettleInTimeSaysSo)
{
    const CliResult r = run({"step", "--to", "50000", "--mode", "position", "--seconds", "0.3"});
    EXPECT_EQ(r.code, CliExit::NotSettled);
    EXPECT_TRUE(r.err.contains("did not settle within 0.3 s")) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("settling time 2 %: -\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("overshoot: -\n"));

    for (const QStringList &bad : {QStringList{"step", "--to", "x"}, QStringList{"step"},
                                   QStringList{"step", "--to", "5", "--mode", "torque"},
                                   QStringList{"step", "--to", "5", "--seconds", "-1"}}) {
        const CliResult u = run(bad);
        EXPECT_EQ(u.code, CliExit::Usage) << bad.join(' ').toStdString();
        EXPECT_EQ(u.err.count('\n'), 1) << u.err.toStdString();
    }
}

TEST_F(StepCli, ASlowLinkStillFindsWhereTheStepStarts)
{
    // Every answer 150 ms late: the first cycle with the consign comes after
    // the baseline's 100 ms, and the step waits for it.
    ASSERT_TRUE(server->faults().apply("delay=150"));
    const CliResult r = run({"--answer-timeout", "1000", "--timeout", "10000", "step", "--to",
                             "2000", "--mode", "position", "--seconds", "2"});
    EXPECT_TRUE(r.code == CliExit::Ok || r.code == CliExit::NotSettled) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("rise time")) << r.out.toStdString();
}

} // namespace

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The recording of live values: its text, the queue that never makes the
// decoder wait, the write errors, and a recording of the virtual controller.
#include "integration/SimFixture.h"
#include "record/LiveRecorder.h"
#include "support/CliRun.h"

#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>

using namespace testsupport;

namespace {

QStringList dataLines(const QString &path, QString *header = nullptr, QString *trailer = nullptr)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.size() >= 2 && lines.last().isEmpty()) << "the file ends inside a line";
    lines.removeLast();
    if (header && !lines.isEmpty())
        *header = lines.takeFirst();
    if (trailer && !lines.isEmpty() && lines.last().startsWith(QLatin1Char('#')))
        *trailer = lines.takeLast();
    return lines;
}

TEST(LiveRecordFormat, HeaderAndLines)
{
    RecordUnits stepper;
    stepper.position = QStringLiteral("0x26-Pos [\u00B5Step]");
    stepper.stepperUnits = true;
    EXPECT_EQ(LiveRecordFormat::header(RecordUnits{}),
              QByteArray("\xEF\xBB\xBFTime [ms],0x26-Position [p],0x28-Speed [p/s],"
                         "0x30-Desired state [p/s],0x21-Input,0x32-Command [%],0x2B-Current [A],"
                         "0x07-Voltage [V],0x29-Temperature [\xC2\xB0"
                         "C],0x20-Regul. mode\n"));
    EXPECT_TRUE(LiveRecordFormat::header(stepper).contains("0x26-Pos [\xC2\xB5Step]"));

    struct Row
    {
        LiveSample sample;
        double ms;
        bool stepper;
        const char *line;
    };
    const Row rows[] = {
        {{0, 1000, -20, 7, 2000, 65535, 5, 1.5f, 24.04f, 36.96f}, 12.34, false,
         "12.3,1000,-20,7,2000,100.00,1.500,24.0,37.0,Position traj.\n"},
        // A stepper's third column is the position in steps, as its read-out shows it.
        {{0, 1000, 0, 99, 0, -32768, 4, -0.25f, 0, 0}, 0, true,
         "0.0,1000,0,3.906,0,-50.00,-0.250,0.0,0.0,Speed traj.\n"},
        {{0, 0, 0, 0, 0, 0, 200, 0, 0, 0}, 2000, false, "2000.0,0,0,0,0,0.00,0.000,0.0,0.0,200\n"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(LiveRecordFormat::line(row.sample, row.ms, row.stepper), QByteArray(row.line));
}

// A device whose writes can be held (the writer blocks in them) and which
// refuses every byte past a limit, as a full disk does. The recorder owns the
// device; the test keeps its state.
struct DeviceState
{
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    bool blocked = false;
    qint64 limit = -1;
    QByteArray bytes;

    void hold(bool on)
    {
        std::lock_guard guard(mutex);
        held = on;
        changed.notify_all();
    }
    bool waitUntilBlocked()
    {
        std::unique_lock guard(mutex);
        return changed.wait_for(guard, std::chrono::seconds(5), [this] { return blocked; });
    }
    QByteArray written()
    {
        std::lock_guard guard(mutex);
        return bytes;
    }
};

class TestDevice : public QIODevice
{
public:
    explicit TestDevice(std::shared_ptr<DeviceState> state) : m_state(std::move(state))
    {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        DeviceState &s = *m_state;
        std::unique_lock guard(s.mutex);
        s.blocked = s.held;
        s.changed.notify_all();
        s.changed.wait(guard, [&s] { return !s.held; });
        s.blocked = false;
        if (s.limit >= 0 && s.bytes.size() + length > s.limit) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        s.bytes.append(data, length);
        return length;
    }

private:
    std::shared_ptr<DeviceState> m_state;
};

TEST(LiveRecorder, FullQueueDropsAndCountsWhileTheWriterIsBlocked)
{
    constexpr size_t Capacity = 64;
    constexpr int Extra = 100;
    RegisterLock lock;
    LiveRecorder recorder(lock, Capacity);
    auto state = std::make_shared<DeviceState>();
    DeviceState &device = *state;
    ASSERT_TRUE(recorder.start(std::make_unique<TestDevice>(state), QStringLiteral("held"),
                               RecordUnits{}));
    device.hold(true);
    LiveSample sample;
    recorder.record(sample);
    ASSERT_TRUE(device.waitUntilBlocked()); // the writer sits in its write
    {
        // The decoder side: every call returns although nothing is written.
        RegisterLockGuard guard(lock);
        for (size_t i = 0; i < Capacity + Extra; ++i) {
            sample.position = int32_t(i);
            recorder.record(sample);
        }
    }
    EXPECT_EQ(recorder.progress().dropped, Extra);
    device.hold(false);
    recorder.stop();
    const LiveRecorder::Progress p = recorder.progress();
    EXPECT_EQ(p.lines, int64_t(Capacity + 1));
    EXPECT_EQ(p.dropped, Extra);
    EXPECT_FALSE(p.failed);
    EXPECT_TRUE(device.written().endsWith("# 65 lines recorded, 100 dropped\n"));
}

TEST(LiveRecorder, FullDiskStopsTheWritingAndKeepsWholeLines)
{
    RegisterLock lock;
    LiveRecorder recorder(lock);
    auto state = std::make_shared<DeviceState>();
    state->limit = 4000;
    DeviceState &device = *state;
    ASSERT_TRUE(recorder.start(std::make_unique<TestDevice>(state), QStringLiteral("full"),
                               RecordUnits{}));
    LiveSample sample;
    for (int i = 0; i < 2000 && !recorder.progress().failed; ++i) {
        recorder.record(sample);
        if (i % 50 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ASSERT_TRUE(waitFor([&] { return recorder.progress().failed; }, 3000));
    EXPECT_TRUE(recorder.isRunning()); // until its owner stops it
    recorder.stop();
    const LiveRecorder::Progress p = recorder.progress();
    EXPECT_EQ(p.error, QStringLiteral("No space left on device"));
    const QByteArray kept = device.written();
    EXPECT_GT(p.lines, 0);
    EXPECT_EQ(kept.count('\n'), p.lines + 1); // the header and whole lines
    EXPECT_TRUE(kept.endsWith('\n'));
    EXPECT_EQ(p.bytes, kept.size());
}

TEST(LiveRecorder, UnwritableFileDoesNotStart)
{
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    for (const QString &path : {dir.filePath(QStringLiteral("missing/live.csv")),
                                dir.filePath(QStringLiteral("plain/live.csv")), dir.path()}) {
        RegisterLock lock;
        LiveRecorder recorder(lock);
        QString error;
        EXPECT_FALSE(recorder.start(path, RecordUnits{}, &error)) << path.toStdString();
        EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot write "))) << error.toStdString();
        EXPECT_FALSE(recorder.isRunning());
        recorder.record(LiveSample{}); // ignored
        recorder.stop();
    }
    const CliResult cli = runCli({QStringLiteral("--ip"), QStringLiteral("127.0.0.1"),
                                  QStringLiteral("read"), QStringLiteral("0x26"),
                                  QStringLiteral("--csv"), dir.filePath(QStringLiteral("x.csv"))});
    EXPECT_EQ(cli.code, CliExit::Usage);
    EXPECT_EQ(cli.err, QStringLiteral("tarvine-cli: --csv goes with poll, step only; see "
                                      "tarvine-cli --help\n"));
}

// RefreshRatio 2 on the virtual controller, a position move running.
class Recording : public ::testing::TestWithParam<int>
{};

TEST_P(Recording, OfTwoSecondsAtTheFastestPolling)
{
    SimConnection c;
    c.startDirect("NETDC-A", 61);
    ASSERT_TRUE(c.openAndIdentify(GetParam()));
    ASSERT_TRUE(c.waitSettled());
    {
        RegisterLockGuard guard(c.session.lock());
        c.session.motor().RequestWrite(Reg::RegulationMode, 5);
        c.session.motor().RequestWrite(Reg::Input, 20000);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("live.csv"));
    LiveRecorder recorder(c.session);
    ASSERT_TRUE(recorder.start(path, RecordUnits::from(c.connection.profile())));
    c.session.RefreshRatio = 2;
    c.connection.setPollingEnabled(true);
    waitFor([] { return false; }, 2000);
    c.connection.setPollingEnabled(false);
    ASSERT_TRUE(c.waitSettled());
    recorder.stop();
    ReceivedValues last;
    NewValueFlags flags;
    c.session.takeDisplayValues(last, flags);

    QString header;
    QString trailer;
    const QStringList lines = dataLines(path, &header, &trailer);
    const LiveRecorder::Progress p = recorder.progress();
    // About 500 cycles a second; a slow (instrumented) build gets fewer.
    EXPECT_GT(lines.size(), 300);
    EXPECT_LT(lines.size(), 1100);
    EXPECT_EQ(p.lines, lines.size());
    EXPECT_EQ(p.dropped, 0);
    EXPECT_EQ(trailer, QStringLiteral("# %1 lines recorded, 0 dropped").arg(lines.size()));
    EXPECT_TRUE(header.contains(QStringLiteral("Time [ms],0x26-Position [p],")));
    double previous = -1;
    bool moved = false;
    for (const QString &line : lines) {
        const QStringList fields = line.split(QLatin1Char(','));
        ASSERT_EQ(fields.size(), LiveRecordFormat::ColumnCount) << line.toStdString();
        const double ms = fields[0].toDouble();
        EXPECT_GE(ms, previous);
        EXPECT_LT(ms, 4000);
        previous = ms;
        moved = moved || fields[1] != QLatin1String("0");
    }
    EXPECT_TRUE(moved);
    // The last line holds the values the read-outs show after the run.
    const QStringList end = lines.last().split(QLatin1Char(','));
    EXPECT_EQ(end[1].toInt(), last.Position);
    EXPECT_EQ(end[2].toInt(), last.Speed);
    EXPECT_EQ(end[3].toInt(), last.Desired);
    EXPECT_EQ(end[4].toInt(), 20000);
    EXPECT_EQ(end[7], QString::number(double(last.Voltage), 'f', 1));
    EXPECT_EQ(end[9], QStringLiteral("Position traj."));
}

INSTANTIATE_TEST_SUITE_P(Modes, Recording, ::testing::Values(ComModes::TcpDirect, ComModes::Udp),
                         [](const auto &info) {
                             return info.param == ComModes::Udp ? "Udp" : "Tcp";
                         });

TEST(Recording, CommandLinePollWritesTheSameFile)
{
    SimConnection sim;
    sim.startDirect("BUSST-A", 62);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("poll.csv"));
    const QStringList common{QStringLiteral("--ip"), QString::fromStdString(sim.address()),
                             QStringLiteral("--port"), QString::number(sim.server->tcpPort()),
                             QStringLiteral("poll"), QStringLiteral("--seconds"),
                             QStringLiteral("1"), QStringLiteral("--refresh"), QStringLiteral("2"),
                             QStringLiteral("--csv")};
    const CliResult ok = runCli(common + QStringList{path});
    ASSERT_EQ(ok.code, CliExit::Ok) << ok.err.toStdString();
    QString header;
    QString trailer;
    const QStringList lines = dataLines(path, &header, &trailer);
    EXPECT_GT(lines.size(), 100);
    EXPECT_TRUE(ok.out.contains(QStringLiteral("recorded %1 lines into").arg(lines.size())));
    EXPECT_TRUE(header.contains(QStringLiteral("0x26-Pos [\u00B5Step]")));
    EXPECT_EQ(trailer, QStringLiteral("# %1 lines recorded, 0 dropped").arg(lines.size()));

    const CliResult bad = runCli(common + QStringList{dir.filePath(QStringLiteral("no/poll.csv"))});
    EXPECT_EQ(bad.code, CliExit::BadFile);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("Cannot write"))) << bad.err.toStdString();
}

} // namespace

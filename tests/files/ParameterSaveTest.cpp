// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Saving and sending parameter files against the virtual controller.
#include "files/ParameterApply.h"
#include "files/ParameterSave.h"
#include "integration/SimFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace testsupport;

struct RecordingSave : ParameterSaveListener
{
    QStringList statuses;
    int indicatorShown = 0;
    int indicatorClosed = 0;
    bool ended = false;
    bool written = false;
    QString failure;
    void saveStatus(const QString &text) override { statuses << text; }
    void savingIndicator(bool visible) override { ++(visible ? indicatorShown : indicatorClosed); }
    void saveEnded(bool ok, const QString &text) override
    {
        ended = true;
        written = ok;
        failure = text;
    }
};

/// A save over a SimConnection: the test loop hands the 0x5B notices over.
struct SaveRun
{
    SimConnection &c;
    RecordingSave rec;
    ParameterSave save{c.session, rec};
    int limitsSeen = 0;

    explicit SaveRun(SimConnection &connection)
        : c(connection)
    {
        QObject::connect(&c.connection, &QLMCConnection::connectedStateChanged, &save,
                         [this](bool connected) {
                             if (!connected)
                                 save.connectionClosed();
                         });
    }
    bool run(const QString &path, int timeoutMs = 15000)
    {
        limitsSeen = c.listener.count("limits");
        save.start(path, c.connection.isConnected());
        return waitFor(
            [this] {
                const int n = c.listener.count("limits");
                for (; limitsSeen < n; ++limitsSeen)
                    save.limitsReceived();
                return rec.ended;
            },
            timeoutMs);
    }
};

/// Every section of the file holds the device's bytes of its register.
void expectFileEqualsImage(const QString &path, SimController &device)
{
    const ParameterFileContent content = ParameterFile::readPath(path);
    ASSERT_EQ(content.result, 0) << content.error.toStdString();
    ASSERT_GE(content.entries.size(), 30u);
    for (const FileEntry &e : content.entries)
        EXPECT_EQ(e.bytes, device.imageBytes(e.address)) << "register " << e.address;
}

std::vector<SimWireEvent> writes(const std::vector<SimWireEvent> &requests)
{
    std::vector<SimWireEvent> out;
    for (const SimWireEvent &e : requests)
        if (e.function == Function::Write)
            out.push_back(e);
    return out;
}

} // namespace

TEST(ParameterSave, SavesOverTcpUdpAndGateway)
{
    QTemporaryDir dir;
    struct Case
    {
        int comMode;
        bool gateway;
        const char *model;
    };
    for (const Case &k : {Case{ComModes::TcpDirect, false, "NETEC-A"},
                          Case{ComModes::Udp, false, "NETDC-A"},
                          Case{ComModes::TcpGateway, true, "BUSDC-A"}}) {
        SimConnection c;
        if (k.gateway)
            c.startGateway(k.model, {16});
        else
            c.startDirect(k.model);
        ASSERT_TRUE(c.openAndIdentify(k.comMode));
        ASSERT_TRUE(c.waitSettled());
        SimController &device = k.gateway ? *c.server->module(16) : *c.server->controller();
        const uint8_t kp[4] = {0x00, 0x02, 0x80, 0x00};
        device.setImageBytes(Reg::Kp, kp);

        SaveRun s(c);
        const QString path = dir.filePath(QStringLiteral("mode%1").arg(k.comMode));
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(s.run(path));
        std::cout << "click-to-file, mode " << k.comMode << ": " << clock.elapsed() << " ms\n";
        EXPECT_TRUE(s.rec.written) << s.rec.failure.toStdString();
        EXPECT_EQ(s.rec.statuses, (QStringList{"Ask registers from module", "All datas received",
                                               "Save - Finished"}));
        EXPECT_EQ(s.rec.indicatorShown, 1);
        EXPECT_EQ(s.rec.indicatorClosed, 1);
        EXPECT_FALSE(s.save.SavePending());
        expectFileEqualsImage(path + ".qmc", device);
        IniFile file;
        ASSERT_TRUE(file.load(path + ".qmc"));
        EXPECT_EQ(file.readString("Register 0", "Name", ""),
                  k.gateway ? "I2C Address" : "IP Address");
        if (k.comMode == ComModes::TcpDirect) {
            EXPECT_FALSE(file.sectionExists("Register 38")); // NETEC-A: 38 sections
        }
    }
}

TEST(ParameterSave, LostAnswersAreAskedAgainAndAMissingMarkerTimesOut)
{
    QTemporaryDir dir;
    {
        // Every fifth answer lost: the save asks again and still ends with a full file.
        SimConnection c;
        c.startDirect("NETDC-A");
        ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
        ASSERT_TRUE(c.waitSettled());
        c.server->faults().setDrop(SimFaultRate::every(5));
        SaveRun s(c);
        ASSERT_TRUE(s.run(dir.filePath("drop.qmc"), 20000));
        if (s.rec.written)
            expectFileEqualsImage(dir.filePath("drop.qmc"), *c.server->controller());
        else
            EXPECT_TRUE(s.rec.failure.startsWith("Save file failed, no answer from module."));
        c.server->faults().clear();
    }
    {
        // 0x5B never answers: the save fails after 10 s naming it, and writes nothing.
        SimConnection c;
        c.startDirect("NETDC-A");
        ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
        ASSERT_TRUE(c.waitSettled());
        c.server->controller()->setRegisterFaults({Reg::Limit2XInput}, {});
        SaveRun s(c);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(s.run(dir.filePath("marker.qmc")));
        EXPECT_GE(clock.elapsed(), ParameterSave::TimeoutMs - 100);
        EXPECT_FALSE(s.rec.written);
        EXPECT_EQ(s.rec.statuses.last(), "Save - Failed");
        EXPECT_EQ(s.rec.failure, "Save file failed, no answer from module.\r\nMissing registers: "
                                 "0x5B Limit2 xinput");
        EXPECT_EQ(s.rec.indicatorClosed, 1);
        EXPECT_FALSE(s.save.SavePending());
        EXPECT_FALSE(QFile::exists(dir.filePath("marker.qmc")));
    }
    {
        // The connection closes in the middle of the read-back.
        SimConnection c;
        c.startDirect("NETDC-A");
        ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
        ASSERT_TRUE(c.waitSettled());
        c.server->faults().setDelayMs(300); // the read-back is still running when it closes
        SaveRun s(c);
        QElapsedTimer clock;
        clock.start();
        s.save.start(dir.filePath("closed.qmc"), true);
        c.server->stop();
        ASSERT_TRUE(waitFor([&] { return s.rec.ended; }, 15000));
        EXPECT_LT(clock.elapsed(), ParameterSave::TimeoutMs);
        EXPECT_FALSE(s.rec.written);
        EXPECT_TRUE(s.rec.failure.startsWith("Save file failed, no answer from module."));
        EXPECT_FALSE(QFile::exists(dir.filePath("closed.qmc")));
    }
}

TEST(ParameterSave, SendsAFileFromOneControllerToAnother)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.qmc");
    SimConnection a;
    a.startDirect("NETDC-A", 3);
    ASSERT_TRUE(a.openAndIdentify(ComModes::TcpDirect));
    ASSERT_TRUE(a.waitSettled());
    const uint8_t kp[4] = {0x00, 0x02, 0x80, 0x00};
    ASSERT_TRUE(a.server->controller()->writeRegister(Reg::Kp, kp));
    const uint8_t ki[4] = {0x00, 0x00, 0x40, 0x00};
    ASSERT_TRUE(a.server->controller()->writeRegister(Reg::Ki, ki));
    {
        SaveRun s(a);
        ASSERT_TRUE(s.run(path));
        ASSERT_TRUE(s.rec.written);
    }

    SimConnection b;
    b.startDirect("NETDC-A", 4);
    ASSERT_TRUE(b.openAndIdentify(ComModes::TcpDirect));
    ASSERT_TRUE(b.waitSettled());
    b.server->controller()->setRegisterFaults({}, {Reg::Ki});
    const ParameterFileContent content = ParameterFile::readPath(path);
    ASSERT_TRUE(content.ok());
    b.wire.clear();
    const ApplyResult applied = ParameterApply::apply(b.session, content, true);
    b.session.ReadBackAfterSend = true;
    ASSERT_TRUE(b.waitSettled());
    EXPECT_FALSE(b.session.ReadBackAfterSend.load());

    // Address order across packets, answers bounded to 110 bytes, read-back after the last.
    const std::vector<SimWireEvent> requests = b.wire.requests();
    const std::vector<SimWireEvent> w = writes(requests);
    ASSERT_GE(w.size(), 2u);
    int last = -1;
    for (const SimWireEvent &e : w) {
        int budget = 0;
        for (size_t i = 0; i < e.payload.size(); i += 1 + size_t(registerInfo(e.payload[i])->size)) {
            EXPECT_GT(int(e.payload[i]), last);
            last = e.payload[i];
            budget += 1 + registerInfo(e.payload[i])->size;
        }
        EXPECT_LE(budget, 110);
    }
    size_t lastWrite = 0;
    size_t readBack = 0;
    for (size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].function == Function::Write)
            lastWrite = i;
        else if (requests[i].function == Function::Read && requests[i].payload.size() > 10)
            readBack = i;
    }
    EXPECT_GT(readBack, lastWrite);

    // B holds A's values, but for the write it ignored, which the comparison shows.
    for (int address : applied.requested)
        if (address != Reg::Ki && address != Reg::AddressIp && address != Reg::Name) {
            EXPECT_EQ(b.server->controller()->imageBytes(address),
                      a.server->controller()->imageBytes(address))
                << address;
        }
    EXPECT_EQ(b.server->controller()->imageBytes(Reg::Kp), std::vector<uint8_t>(kp, kp + 4));
    std::vector<int> different;
    for (const CompareRow &row : ParameterCompare::compare(b.session, content))
        if (row.different)
            different.push_back(row.address);
    EXPECT_EQ(different, std::vector<int>{Reg::Ki}); // acknowledged, not taken
    // Writing 0x12 never moved B's listening address.
    EXPECT_TRUE(b.connection.isConnected());
}

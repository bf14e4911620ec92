// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The change history: what a write request records, and the journal's lines.
#include "device/ChangeHistory.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "protocol/ConnectionState.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

void connectNetdcA(QLMCSession &session)
{
    applyRegisterAccess(identifyDevice(0x00020001, 0x00070012), session.motor());
    session.connection().ComMode = ComModes::TcpDirect;
    session.setDeviceLabel(QStringLiteral("127.0.0.21"));
}

void received(QLMCSession &session, int address, Bytes value, uint64_t sequence)
{
    RegisterLockGuard guard(session.lock());
    QLMCRegister &reg = *session.motor().registerAt(address);
    reg.Value = std::move(value);
    reg.ReceivedSequence = sequence;
}

} // namespace

TEST(ChangeHistory, WriteRequestsOfFileRegistersAreRecordedWithTheValueBefore)
{
    QTemporaryDir dir;
    QLMCSession session;
    connectNetdcA(session);
    const QString journal = dir.filePath("data/history.log");
    session.history().setJournalPath(journal);
    received(session, Reg::Kp, {0, 1, 0, 0}, 1);
    {
        const ChangeSource source(QStringLiteral("Main panel"));
        const ChangeSource inner(QStringLiteral("inner")); // the outer one counts
        RegisterLockGuard guard(session.lock());
        QLMCIPMotor &m = session.motor();
        m.RequestWrite(Reg::Kp, 0x28000);          // recorded, before 1.0
        m.RequestWrite(Reg::Ki, 0x10000);          // recorded, before missing
        m.RequestWrite(Reg::Input, 5);             // not a file register
        m.RequestWrite(Reg::Position, 0);          // not a file register
        m.RequestWrite(Reg::DissipationVoltage, 1); // not writable on NETDC-A
    }
    received(session, Reg::Kd, {0, 2, 0, 0}, 2);
    session.motor().RequestWrite(Reg::Kd, 0x20000); // the value in force: nothing changes
    session.motor().RequestWrite(Reg::Kp, 0x10000); // after a change every write counts
    const std::vector<ChangeRecord> entries = session.history().entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].address, Reg::Kp);
    EXPECT_EQ(entries[0].before, (Bytes{0, 1, 0, 0}));
    EXPECT_EQ(entries[0].written, (Bytes{0, 2, 0x80, 0}));
    EXPECT_EQ(entries[0].source, "Main panel");
    EXPECT_EQ(entries[1].before, std::nullopt);
    EXPECT_EQ(entries[2].source, "tool");
    EXPECT_EQ(session.history().selected({1, 3}).front().number, 3u); // newest first

    QFile file(journal);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4); // three lines and the last line end
    EXPECT_TRUE(lines[0].endsWith(" | 127.0.0.21 | 0x33 Kp | before 0x00010000 (1.00000) | "
                                  "written 0x00028000 (2.50000) | Main panel"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("| 0x34 Ki | before missing | written 0x00010000"));
    const auto back = ChangeHistory::readJournal(journal);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 3u);
    EXPECT_EQ((*back)[1].before, std::nullopt);
    EXPECT_EQ((*back)[0].written, entries[0].written);
    EXPECT_EQ((*back)[0].device, "127.0.0.21");
    EXPECT_EQ((*back)[0].time.toString(Qt::ISODateWithMs), entries[0].time.toString(Qt::ISODateWithMs));
    // Nothing is recorded while closed; lines that are not records are skipped.
    session.connection().ComMode = ComModes::Closed;
    session.motor().RequestWrite(Reg::Kp, 0);
    EXPECT_EQ(session.history().entries().size(), 3u);
    EXPECT_FALSE(ChangeRecord::parse("2024-11-01 10:00:00.000 | x | 0x33 Kp | before 0x01 | "
                                     "written 0x00000000 | s")); // wrong size
    const ChangeRecord name{0, QDateTime::currentDateTime(), "d", Reg::Name, std::nullopt,
                            Bytes(16, '|'), "Connection window"};
    EXPECT_EQ(ChangeRecord::parse(name.line())->written, name.written);
}

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "files/ParameterApply.h"
#include "files/ParameterFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using Bytes = std::vector<uint8_t>;

/// A session whose image has the access of model \a type (0x00 Type value).
void grantModel(QLMCSession &session, uint32_t type, uint32_t version = 0x00070012)
{
    applyRegisterAccess(identifyDevice(type, version), session.motor());
    RegisterLockGuard guard(session.lock());
    QLMCIPMotor &m = session.motor();
    const uint8_t t[4] = {uint8_t(type >> 24), uint8_t(type >> 16), uint8_t(type >> 8),
                          uint8_t(type)};
    std::copy_n(t, 4, m.registerAt(Reg::Type)->Value.begin());
    const uint8_t v[4] = {uint8_t(version >> 24), uint8_t(version >> 16), uint8_t(version >> 8),
                          uint8_t(version)};
    std::copy_n(v, 4, m.registerAt(Reg::Version)->Value.begin());
}

QString text(const IniFile &file)
{
    return QString::fromLatin1(file.toBytes());
}

ParameterFileContent readText(const char *body)
{
    return ParameterFile::readBytes(QByteArray(body));
}

} // namespace

TEST(ParameterFileWriter, HeaderAndVersionTexts)
{
    ParameterSnapshot s;
    s.typeReadable = true;
    s.type = {0x00, 0x06, 0x00, 0x04};
    s.versionReadable = true;
    s.version = {0x00, 0x03, 0x00, 0x07};
    EXPECT_TRUE(text(ParameterFile::compose(s))
                    .startsWith("[File Header]\r\nFile version=3.00\r\nSoftware version=3.18\r\n"
                                "Device type=0006.0004\r\nDevice HW version=-.-\r\n"
                                "Device FW version=3.7\r\n"));
    struct Case
    {
        std::array<uint8_t, 4> version;
        const char *hw;
        const char *fw;
    };
    for (const Case &c : {Case{{0, 3, 0, 7}, "-.-", "3.7"}, Case{{2, 1, 5, 10}, "2.1", "5.10"}}) {
        EXPECT_EQ(ParameterFile::hardwareVersionText(c.version), c.hw);
        EXPECT_EQ(ParameterFile::firmwareVersionText(c.version), c.fw);
    }
    // Neither 0x00 nor 0x01 readable: only the two fixed keys.
    EXPECT_EQ(text(ParameterFile::compose(ParameterSnapshot{})),
              "[File Header]\r\nFile version=3.00\r\nSoftware version=3.18\r\n");
}

TEST(ParameterFileWriter, FileNameGetsTheExtensionComparedWithCase)
{
    EXPECT_EQ(ParameterFile::withExtension("params"), "params.qmc");
    EXPECT_EQ(ParameterFile::withExtension("/a/b.qmc"), "/a/b.qmc");
    EXPECT_EQ(ParameterFile::withExtension("b.QMC"), "b.QMC.qmc");
}

TEST(ParameterFileWriter, SectionsFollowTheGroupsAndTheModel)
{
    QLMCSession session;
    grantModel(session, 0x00060004); // NETEC-A
    session.connection().ComMode = ComModes::TcpDirect;
    {
        RegisterLockGuard guard(session.lock());
        QLMCRegister &name = *session.motor().registerAt(Reg::Name);
        std::fill(name.Value.begin(), name.Value.end(), 0);
        name.Value[0] = 'A'; // shorter than 16: all 16 bytes are written
        const Bytes kp{0x00, 0x02, 0x80, 0x00};
        session.motor().registerAt(Reg::Kp)->Value = kp;
    }
    const ParameterSnapshot all = ParameterFile::takeSnapshot(session, SaveGroups::all());
    ASSERT_EQ(all.registers.size(), 38u);
    const IniFile file = ParameterFile::compose(all);
    EXPECT_TRUE(file.sectionExists("Register 37"));
    EXPECT_FALSE(file.sectionExists("Register 38"));
    EXPECT_EQ(file.readString("Register 0", "Name", ""), "IP Address");
    EXPECT_EQ(file.readString("Register 1", "Value", ""),
              "0x41000000000000000000000000000000");
    const QString kpSection = QStringLiteral("Register %1").arg(3 + 9);
    EXPECT_EQ(file.readString(kpSection, "Name", ""), "Kp");
    EXPECT_EQ(file.readInteger(kpSection, "Reg", 0), 51);
    EXPECT_EQ(file.readString(kpSection, "Value", ""), "0x00028000");

    // 0x55 unreadable: Global has eight sections and the numbering has no gap.
    session.motor().setAccess(Reg::IoConfig, false, false);
    SaveGroups global = SaveGroups::none();
    global.set(SaveGroup::Global, true);
    global.set(SaveGroup::Regulation, true);
    const IniFile g = ParameterFile::compose(ParameterFile::takeSnapshot(session, global));
    EXPECT_EQ(g.readInteger("Register 7", "Reg", 0), Reg::DissipationVoltage);
    EXPECT_EQ(g.readInteger("Register 8", "Reg", 0), Reg::Kp);

    // Nothing ticked: the header alone.
    const IniFile none =
        ParameterFile::compose(ParameterFile::takeSnapshot(session, SaveGroups::none()));
    EXPECT_EQ(none.sectionNames(), QStringList{"File Header"});

    // Behind a gateway 0x12 is the module's I2C address, in the file and the table.
    session.connection().ComMode = ComModes::TcpGateway;
    const ParameterSnapshot gw = ParameterFile::takeSnapshot(session, SaveGroups::all());
    EXPECT_EQ(gw.registers.front().name, "I2C Address");
    RegisterLockGuard guard(session.lock());
    EXPECT_EQ(session.motor().registerAt(Reg::AddressIp)->Name, "I2C Address");
}

TEST(ParameterFileWriter, AFailedWriteKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.qmc");
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old content\r\n");
    old.close();
    ParameterSnapshot big;
    big.registers.assign(400, SavedRegister{0x15, "Name", 16, Bytes(16, 0x41)});
    const IniFile file = ParameterFile::compose(big);

    // A short write: the file size limit stops the temporary file half way.
    QString error;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool written = ParameterFile::save(file, path, &error);
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());

    // A folder as name, and a folder that does not exist.
    EXPECT_FALSE(ParameterFile::save(file, dir.path(), &error));
    EXPECT_FALSE(ParameterFile::save(file, dir.filePath("missing/p.qmc"), &error));

    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old content\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"p.qmc"}); // no temporary

    ASSERT_TRUE(ParameterFile::save(file, path, &error)) << error.toStdString();
    old.close();
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), file.toBytes());
}

TEST(ParameterFileReader, ParseHexPair)
{
    EXPECT_EQ(ParameterFile::ParseHexPair(u""), 0);
    EXPECT_EQ(ParameterFile::ParseHexPair(u"5"), 5);
    EXPECT_EQ(ParameterFile::ParseHexPair(u"Ab"), 0xAB);
    EXPECT_EQ(ParameterFile::ParseHexPair(u"fF"), 0xFF);
    EXPECT_FALSE(ParameterFile::ParseHexPair(u"G0"));
    EXPECT_FALSE(ParameterFile::ParseHexPair(u" 1"));
}

TEST(ParameterFileReader, ValueAndOldKeys)
{
    struct Case
    {
        const char *body;
        int result;
        Bytes bytes;
    };
    const Case cases[] = {
        {"[Register 0]\r\nReg=37\r\nSize=4\r\nValue=0x50C30000\r\n", 0, {0x50, 0xC3, 0, 0}},
        {"[Register 0]\r\nReg=37\r\nSize=4\r\nData=0x50C30000\r\n", 1, {0, 0, 0xC3, 0x50}},
        {"[Register 0]\r\nReg=0x25\r\nSize=4\r\nDataWrite=0x50C3\r\n", 1, {0, 0, 0xC3, 0x50}},
        // Missing digits give 0; digits beyond 2 x Size are ignored; "0X" is accepted.
        {"[Register 0]\r\nReg=37\r\nSize=4\r\nValue=0x0102\r\n", 0, {1, 2, 0, 0}},
        {"[Register 0]\r\nReg=37\r\nSize=4\r\nValue=0X0102030405\r\n", 0, {1, 2, 3, 4}},
        {"[Register 0]\r\nReg=37\r\nSize=4\r\nValue=0x01020\r\n", 0, {1, 2, 0, 0}},
    };
    for (const Case &c : cases) {
        const ParameterFileContent r = readText(c.body);
        ASSERT_EQ(r.result, c.result) << c.body << r.error.toStdString();
        ASSERT_EQ(r.entries.size(), 1u) << c.body;
        EXPECT_EQ(r.entries[0].address, 0x25);
        EXPECT_EQ(r.entries[0].bytes, c.bytes) << c.body;
    }
    // Mixed keys: 1 only when the last section used an old key.
    EXPECT_EQ(readText("[Register 0]\r\nReg=37\r\nSize=4\r\nData=0x01\r\n"
                       "[Register 1]\r\nReg=36\r\nSize=4\r\nValue=0x01\r\n")
                  .result,
              0);
    EXPECT_EQ(readText("[Register 0]\r\nReg=37\r\nSize=4\r\nValue=0x01\r\n"
                       "[Register 1]\r\nReg=36\r\nSize=4\r\nData=0x01\r\n")
                  .result,
              1);
    // A header without register sections reads as complete and empty.
    const ParameterFileContent empty = readText("[File Header]\r\nFile version=3.00\r\n");
    EXPECT_EQ(empty.result, 0);
    EXPECT_TRUE(empty.entries.empty());
}

TEST(ParameterFileReader, KpWithoutKvffZeroesTheFeedForwardTerms)
{
    const ParameterFileContent r =
        readText("[Register 0]\r\nReg=51\r\nSize=4\r\nValue=0x00028000\r\n");
    ASSERT_EQ(r.entries.size(), 5u);
    for (size_t i = 1; i < 5; ++i) {
        EXPECT_TRUE(r.entries[i].zeroed);
        EXPECT_EQ(r.entries[i].bytes, Bytes(4, 0));
    }
    EXPECT_EQ(r.entries[1].address, Reg::VffOffset);
    EXPECT_EQ(r.entries[4].address, Reg::Kdff);
    EXPECT_EQ(readText("[Register 0]\r\nReg=51\r\nSize=4\r\nValue=0x1\r\n[Register 1]\r\nReg=98"
                       "\r\nSize=4\r\nValue=0x1\r\n")
                  .entries.size(),
              2u);
}

TEST(ParameterFileReader, BadInputFailsTheWholeFile)
{
    const QString bad = QStringLiteral(
        "Open file failed, bad configuration file format.\r\nFailed register address = ");
    struct Case
    {
        QByteArray body;
        QString error;
    };
    const QByteArray good = "[Register 0]\r\nReg=51\r\nSize=4\r\nValue=0x00028000\r\n";
    QByteArray overflow = "[File Header]\r\nFile version=3.00\r\n";
    for (int n = 0; n < 201; ++n) // 201 x 5 bytes: more than the view packet holds
        overflow += QStringLiteral("[Register %1]\r\nReg=51\r\nSize=4\r\nValue=0x01\r\n")
                        .arg(n)
                        .toLatin1();
    const Case cases[] = {
        {good + "[Register 1]\r\nSize=4\r\nValue=0x01\r\n", bad + "0xFF"},            // no Reg
        {good + "[Register 1]\r\nReg=101\r\nSize=4\r\nValue=0x01\r\n", bad + "0x65"}, // outside
        {good + "[Register 1]\r\nReg=9\r\nSize=0\r\nValue=0x\r\n", bad + "0x09"},     // empty slot
        {good + "[Register 1]\r\nReg=-1\r\nSize=0\r\nValue=0x\r\n", bad + "-1"},      // as found
        {good + "[Register 1]\r\nReg=4096\r\nSize=4\r\nValue=0x01\r\n", bad + "4096"},
        {good + "[Register 1]\r\nReg=abc\r\nSize=4\r\nValue=0x01\r\n", bad + "abc"},
        {good + "[Register 1]\r\nReg=52\r\nSize=2\r\nValue=0x01\r\n", bad + "0x34"}, // size
        {good + "[Register 1]\r\nReg=52\r\nValue=0x01\r\n", bad + "0x34"},           // no Size
        {good + "[Register 1]\r\nReg=52\r\nSize=-4\r\nValue=0x01\r\n", bad + "0x34"},
        {good + "[Register 1]\r\nReg=52\r\nSize=4\r\nName=Ki\r\n", bad + "0x34"},        // no value
        {good + "[Register 1]\r\nReg=52\r\nSize=4\r\nValue=0x0G\r\n", bad + "0x34"},     // not hex
        {good + "[Register 1]\r\nReg=52\r\nSize=4\r\nValue=00010000\r\n", bad + "0x34"}, // no 0x
        {good + "[Register 1]\r\nReg=52\r\nSize=4\r\nValue=0x 1\r\n", bad + "0x34"},
        {overflow, "Open file failed, the file holds too many registers: their values exceed the "
                   "1000 bytes of one view packet."},
        {QByteArray("\x7F"
                    "ELF\x02\x01\x01\0\0\0",
                    10),
         "Open file failed, not a parameter file."},
        {QByteArray(ParameterFile::MaxFileSize + 1, '['),
         "Open file failed, the file is larger than 262144 bytes."},
    };
    for (const Case &c : cases) {
        const ParameterFileContent r = ParameterFile::readBytes(c.body);
        EXPECT_EQ(r.result, 2) << c.body.left(80).toStdString();
        EXPECT_EQ(r.error, c.error) << c.body.left(80).toStdString();
        EXPECT_TRUE(r.entries.empty());

        // Nothing of a failed file reaches the image.
        QLMCSession session;
        grantModel(session, 0x00020001);
        const ApplyResult applied = ParameterApply::apply(session, r, true);
        EXPECT_TRUE(applied.names.isEmpty());
        RegisterLockGuard guard(session.lock());
        for (const QLMCRegister &reg : session.motor().registers())
            ASSERT_FALSE(reg.WriteRequest);
    }
    EXPECT_TRUE(ParameterFile::readPath("/nonexistent/p.qmc")
                    .error.startsWith("Open file failed, the file does not exist"));
    EXPECT_TRUE(ParameterFile::readPath(QDir::tempPath()).error.contains("folder"));
}

TEST(ParameterFileReader, OnlyRegularFilesAreOpened)
{
    // A FIFO named like a parameter file would block the read for ever.
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("x.qmc"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::pair<QString, QString> cases[] = {
        {fifo, "Open file failed, not a regular file (FIFO): " + fifo},
        {"/dev/null", "Open file failed, not a regular file (device): /dev/null"},
        {dir.path(), "Open file failed, the name is a folder: " + dir.path()},
    };
    for (const auto &[path, error] : cases) {
        const ParameterFileContent r = ParameterFile::readPath(path);
        EXPECT_EQ(r.result, 2);
        EXPECT_EQ(r.error, error);
    }
}

TEST(ParameterFileApply, ConnectedRequestsWritesOfflineDecodes)
{
    const ParameterFileContent content =
        readText("[Register 0]\r\nName=Kp\r\nReg=0x33\r\nSize=4\r\nValue=0x00028000\r\n"
                 "[Register 1]\r\nReg=3\r\nSize=0\r\nValue=0x\r\n"
                 "[Register 2]\r\nReg=7\r\nSize=4\r\nValue=0x000C0000\r\n");
    ASSERT_EQ(content.result, 0) << content.error.toStdString();

    QLMCSession online;
    grantModel(online, 0x00020001);
    const ApplyResult sent = ParameterApply::apply(online, content, true);
    EXPECT_EQ(sent.names, (QStringList{"Kp", "Save params", "Voltage"}));
    {
        RegisterLockGuard guard(online.lock());
        QLMCIPMotor &m = online.motor();
        EXPECT_TRUE(m.registerAt(Reg::Kp)->WriteRequest);
        EXPECT_TRUE(m.registerAt(Reg::SaveParams)->WriteRequest); // a command goes with the file
        EXPECT_FALSE(m.registerAt(Reg::Voltage)->WriteRequest);   // not writable: not sent
        EXPECT_EQ(m.registerAt(Reg::Kp)->WriteValue, (Bytes{0x00, 0x02, 0x80, 0x00}));
    }

    // Offline the values arrive as a controller's answer would bring them.
    QLMCSession offline;
    const ApplyResult shown = ParameterApply::apply(offline, content, false);
    EXPECT_EQ(shown.viewBytes, 5 + 1 + 5 + 4 * 5);
    RegisterLockGuard guard(offline.lock());
    EXPECT_EQ(offline.motor().registerAt(Reg::Kp)->Value, (Bytes{0x00, 0x02, 0x80, 0x00}));
    EXPECT_EQ(offline.motor().registerAt(Reg::Kvff)->Value, Bytes(4, 0));
    EXPECT_DOUBLE_EQ(offline.Received.Voltage, 12.0);
}

TEST(ParameterFileCompare, RowsMarkDifferencesAndRisks)
{
    QLMCSession session;
    grantModel(session, 0x00020001);
    {
        RegisterLockGuard guard(session.lock());
        session.motor().registerAt(Reg::Kp)->Value = {0x00, 0x01, 0x00, 0x00};
        // As the decoder marks what the device sent; 0x12 stays unanswered.
        session.motor().registerAt(Reg::Kp)->ReceivedSequence = 1;
        session.motor().registerAt(Reg::Voltage)->ReceivedSequence = 1;
    }
    const ParameterFileContent content =
        readText("[Register 0]\r\nReg=18\r\nSize=4\r\nValue=0x00000000\r\n"
                 "[Register 1]\r\nReg=51\r\nSize=4\r\nValue=0x00028000\r\n"
                 "[Register 2]\r\nReg=7\r\nSize=4\r\nValue=0x000C0000\r\n");
    const std::vector<CompareRow> rows = ParameterCompare::compare(session, content);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_FALSE(rows[0].different);
    EXPECT_TRUE(rows[0].notes().contains("the connection will be lost"));
    EXPECT_TRUE(rows[1].different);
    EXPECT_TRUE(rows[1].tickedByDefault());
    EXPECT_EQ(ParameterCompare::differenceLine(rows[1]), "0x33 Kp 1.00000 -> 2.50000");
    EXPECT_TRUE(rows[2].different);
    EXPECT_FALSE(rows[2].tickedByDefault());
    EXPECT_TRUE(rows[2].notes().contains("not writable (not sent)"));
    EXPECT_TRUE(rows[3].notes().contains("zeroed by an old file"));
    EXPECT_TRUE(rows[0].notes().contains("not received from the device"));
    EXPECT_EQ(rows[0].deviceText, "-");
    // Only what arrived after the mark counts.
    const std::vector<CompareRow> later = ParameterCompare::compare(session, content, 1);
    EXPECT_FALSE(later[1].received);
    EXPECT_FALSE(later[1].different);
}

TEST(ParameterFileApply, SendKeepsTheControllersIdentityAndAsksTheRuleBook)
{
    // A file saved from controller A (127.0.0.21, "A"), sent to B (127.0.0.22, "B").
    const ParameterFileContent content =
        readText("[Register 0]\r\nReg=18\r\nSize=4\r\nValue=0x7F000015\r\n"
                 "[Register 1]\r\nReg=21\r\nSize=16\r\nValue=0x41202020202020202020202020202020\r\n"
                 "[Register 2]\r\nReg=51\r\nSize=4\r\nValue=0x00028000\r\n"
                 "[Register 3]\r\nReg=42\r\nSize=4\r\nValue=0x00050000\r\n"
                 "[Register 4]\r\nReg=98\r\nSize=4\r\nValue=0x00040000\r\n");
    ASSERT_EQ(content.result, 0) << content.error.toStdString();
    const struct {
        const char *name;
        Bytes deviceAddress;
        ApplyOptions options;
        std::vector<int> requested;
        std::vector<int> kept;
    } cases[] = {
        {"another controller", {127, 0, 0, 22}, {}, {0x33, 0x62}, {0x12, 0x15}},
        {"asked for", {127, 0, 0, 22}, {true, false}, {0x12, 0x15, 0x33, 0x62}, {}},
        {"the same controller", {127, 0, 0, 21}, {}, {0x12, 0x33, 0x62}, {0x15}},
        {"forced", {127, 0, 0, 22}, {false, true}, {0x2A, 0x33, 0x62}, {0x12, 0x15}},
    };
    for (const auto &c : cases) {
        QLMCSession session;
        grantModel(session, 0x00020001); // NETDC-A: at most 3.0 A
        session.setProfile(std::make_shared<const ModelProfile>(identifyDevice(0x00020001, 0x00070012)));
        session.connection().ComMode = ComModes::TcpDirect;
        {
            RegisterLockGuard guard(session.lock());
            QLMCRegister &ip = *session.motor().registerAt(Reg::AddressIp);
            ip.Value = c.deviceAddress;
            ip.ReceivedSequence = 1;
            QLMCRegister &name = *session.motor().registerAt(Reg::Name);
            name.Value = Bytes(16, ' ');
            name.Value[0] = 'B';
            name.ReceivedSequence = 1;
        }
        const ApplyResult sent = ParameterApply::apply(session, content, true, {}, c.options);
        std::vector<int> requested = sent.requested;
        std::sort(requested.begin(), requested.end());
        EXPECT_EQ(requested, c.requested) << c.name;
        EXPECT_EQ(sent.kept, c.kept) << c.name;
        if (!c.options.force) {
            ASSERT_EQ(sent.refused.size(), 1u) << c.name;
            EXPECT_EQ(sent.refused[0].address, Reg::CurrentMax);
            EXPECT_TRUE(sent.summary().contains("refused 0x2A Current max")) << c.name;
        }
        if (!c.kept.empty()) {
            EXPECT_TRUE(sent.summary().startsWith("kept the controller's 0x1"))
                << sent.summary().toStdString();
        }
        RegisterLockGuard guard(session.lock());
        EXPECT_EQ(session.motor().registerAt(Reg::AddressIp)->WriteRequest,
                  std::count(requested.begin(), requested.end(), 0x12) == 1);
        EXPECT_FALSE(session.motor().registerAt(Reg::CurrentMax)->WriteRequest && !c.options.force);
    }
    // The comparison leaves a differing identity row unticked and says why.
    QLMCSession session;
    grantModel(session, 0x00020001);
    {
        RegisterLockGuard guard(session.lock());
        QLMCRegister &ip = *session.motor().registerAt(Reg::AddressIp);
        ip.Value = {127, 0, 0, 22};
        ip.ReceivedSequence = 1;
    }
    const CompareRow row = ParameterCompare::compare(session, content)[0];
    EXPECT_TRUE(row.identity);
    EXPECT_FALSE(row.tickedByDefault());
    EXPECT_TRUE(row.notes().startsWith("identity"));
}

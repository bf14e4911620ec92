// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Intake and decoding of discovery answers, over bytes only.
#include "base/Diagnostics.h"
#include "discovery/QLMCScanQuelmoDevice.h"
#include "platform/LoopbackDiscoveryNetwork.h"
#include "protocol/PacketChecksum.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes frame(int function, const Bytes &data)
{
    Bytes out{uint8_t(function >> 8),    uint8_t(function),   0, 7,
              uint8_t(data.size() >> 8), uint8_t(data.size())};
    out.insert(out.end(), data.begin(), data.end());
    const uint16_t sum = PacketChecksum(out.data(), out.size());
    out.push_back(uint8_t(sum >> 8));
    out.push_back(uint8_t(sum));
    return out;
}

Bytes var(uint8_t code, Bytes value)
{
    value.insert(value.begin(), code);
    return value;
}

Bytes name(const std::string &text)
{
    Bytes n(16, 0);
    std::copy_n(text.begin(), std::min<size_t>(16, text.size()), n.begin());
    return n;
}

Bytes record(uint8_t macLast, Bytes version = {0x00, 0x03, 0x00, 0x07},
             const std::string &deviceName = "Drive")
{
    Bytes r = var(0x00, {0x00, 0x06, 0x00, 0x04});
    for (const Bytes &v : {var(0x11, {0x00, 0x50, 0xC2, 0x00, 0x00, macLast}), var(0x01, version),
                           var(0x15, name(deviceName))})
        r.insert(r.end(), v.begin(), v.end());
    return r;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class Decoder : public ::testing::Test
{
protected:
    LoopbackDiscoveryNetwork network{{}, {127, 0, 0, 1}, {127, 0, 0, 0}};
    QLMCScanQuelmoDevice engine{500, network};

    void feed(const Bytes &datagram, const char *sender = "192.168.0.20")
    {
        engine.receiveDatagram(datagram, QString::fromLatin1(sender));
    }
};

TEST_F(Decoder, IdentifyAnswerFillsOneRecord)
{
    feed(frame(0x23, record(0x33, {0x00, 0x03, 0x00, 0x07}, "ABCDEFGHIJKLMNOP")));
    ASSERT_EQ(engine.DeviceList.size(), 1u);
    const QLMCQuelmoDevice &d = engine.DeviceList[0];
    EXPECT_EQ(d.MACText, QStringLiteral("00-50-C2-00-00-33"));
    EXPECT_EQ(d.IPText, QStringLiteral("192.168.0.20"));
    EXPECT_EQ(d.IP, (std::array<uint8_t, 4>{192, 168, 0, 20}));
    EXPECT_EQ(d.TypeText, QStringLiteral("6.4"));
    EXPECT_EQ(d.HWVersionText, QStringLiteral("-.-"));
    EXPECT_EQ(d.FWVersionText, QStringLiteral("3.7"));
    EXPECT_EQ(d.NameText, QStringLiteral("ABCDEFGHIJKLMNOP"));

    feed(frame(0x23, record(0x34, {0x02, 0x01, 0x05, 0x09}, "N\xE9")));
    ASSERT_EQ(engine.DeviceList.size(), 2u);
    EXPECT_EQ(engine.DeviceList[1].HWVersionText, QStringLiteral("2.1"));
    EXPECT_EQ(engine.DeviceList[1].FWVersionText, QStringLiteral("5.9"));
    EXPECT_EQ(engine.DeviceList[1].NameText, QString::fromUtf8("N\u00E9")); // Windows-1252
}

TEST_F(Decoder, FaultyAnswersAddOnlyWhatIsWhole)
{
    const Bytes good = record(0x40);
    struct Case
    {
        const char *what;
        Bytes datagram;
        size_t records;
        int unknown;
    };
    const std::vector<Case> cases = {
        {"value cut short", frame(0x23, Bytes(good.begin(), good.end() - 3)), 0, 0},
        {"name before type", frame(0x23, cat({var(0x15, name("x")), good})), 1, 0},
        {"MAC and version before type",
         frame(0x23, cat({var(0x11, {1, 2, 3, 4, 5, 6}), var(0x01, {1, 2, 3, 4})})), 0, 0},
        {"second type drops the unfinished record",
         frame(0x23, cat({var(0x00, {0, 2, 0, 9}), var(0x11, {9, 9, 9, 9, 9, 9}), good})), 1, 0},
        {"unknown code", frame(0x23, cat({Bytes(good.begin(), good.end() - 17), {0x42, 1, 2}})), 0, 1},
        {"two records", frame(0x23, cat({good, record(0x41)})), 2, 0},
        {"bad checksum", [&] { Bytes b = frame(0x23, good); b.back() ^= 1; return b; }(), 0, 0},
        {"empty data", frame(0x23, {}), 0, 0},
        {"other function", frame(0x21, good), 0, 0},
        {"partial tail after a frame", cat({frame(0x23, good), Bytes{0x00, 0x23, 0x00}}), 1, 0},
        {"two frames in a datagram", cat({frame(0x23, good), frame(0x23, record(0x41))}), 2, 0},
        {"stray module list", frame(0x06, {16, 17}), 0, 0},
        {"length past the datagram", Bytes{0x00, 0x23, 0, 0, 0xFF, 0xFF, 1, 2}, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        engine.DeviceList.clear();
        engine.scanQuelmoDevice(); // resets the count; no adapter, nothing sent
        feed(c.datagram);
        EXPECT_EQ(engine.DeviceList.size(), c.records);
        EXPECT_EQ(engine.unknownVariableCount(), c.unknown);
        // Nothing carries over: the next whole answer is taken.
        feed(frame(0x23, record(0x50)));
        EXPECT_EQ(engine.DeviceList.size(), c.records + 1);
    }
}

TEST_F(Decoder, SameMacKeepsTheFirstAddress)
{
    feed(frame(0x23, record(0x33)), "10.0.0.5");
    feed(frame(0x23, record(0x33)), "192.168.0.5");
    ASSERT_EQ(engine.DeviceList.size(), 1u);
    EXPECT_EQ(engine.DeviceList[0].IPText, QStringLiteral("10.0.0.5"));
}

/// Record \a n of a flood: its own MAC 00-50-C2-00-hi-lo.
Bytes floodRecord(int n)
{
    Bytes r = record(0);
    r[5 + 5] = uint8_t(n >> 8); // MAC bytes follow 0x00's 4 bytes and 0x11
    r[5 + 6] = uint8_t(n);
    return r;
}

TEST_F(Decoder, FloodsAreBoundedPerDatagramAndPerScan)
{
    const struct
    {
        const char *what;
        int datagrams;
        int recordsEach;
        size_t listed;
        QLMCScanQuelmoDevice::DroppedRecords dropped;
    } cases[] = {
        // One host answering 13,300 rows in 10 datagrams.
        {"records per datagram", 10, 1330, 160, {13300 - 160, 0}},
        {"devices per scan", 1100, 1, 1024, {0, 76}},
        {"within both", 64, 16, 1024, {0, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        engine.scanQuelmoDevice(); // no adapter: nothing sent, the counts start over
        int n = 0;
        for (int d = 0; d < c.datagrams; ++d) {
            Bytes records;
            for (int r = 0; r < c.recordsEach; ++r) {
                const Bytes one = floodRecord(n++);
                records.insert(records.end(), one.begin(), one.end());
            }
            feed(frame(0x23, records));
        }
        EXPECT_EQ(engine.DeviceList.size(), c.listed);
        EXPECT_EQ(engine.droppedRecords().overDatagramBound, c.dropped.overDatagramBound);
        EXPECT_EQ(engine.droppedRecords().overScanBound, c.dropped.overScanBound);
    }
}

TEST_F(Decoder, NoticesGoWhereTheLogSendsThem)
{
    // tarvine-cli without --verbose sends errors nowhere (no console, no file);
    // with it, to standard error. The engine never picks its own outputs.
    int console[2];
    ASSERT_EQ(::pipe(console), 0);
    ::fcntl(console[0], F_SETFL, O_NONBLOCK);
    SetLogConsoleDescriptor(console[1]);
    const auto consoleText = [&] {
        QByteArray all;
        char buffer[4096];
        for (ssize_t n; (n = ::read(console[0], buffer, sizeof buffer)) > 0;)
            all.append(buffer, n);
        return QString::fromUtf8(all);
    };
    const Bytes unknown = frame(0x23, {0x00, 0, 6, 0, 4, 0x42, 1});
    Bytes flood;
    for (int r = 0; r < 17; ++r) {
        const Bytes one = floodRecord(r);
        flood.insert(flood.end(), one.begin(), one.end());
    }
    for (const bool verbose : {false, true}) {
        SetLogTarget(verbose ? LogOutput::Console : 0, QStringLiteral("."),
                     QStringLiteral("tarvine-cli"));
        engine.scanQuelmoDevice();
        feed(unknown);
        feed(frame(0x23, flood));
        EXPECT_EQ(engine.unknownVariableCount(), 1);
        const QString written = consoleText();
        EXPECT_EQ(written.contains(QLatin1String("Unknown variable in IP Packet.")), verbose)
            << written.toStdString();
        EXPECT_EQ(written.contains(QLatin1String("holds more than 16 device records")), verbose);
    }
    ResetLogState();
    ::close(console[0]);
    ::close(console[1]);
}

TEST_F(Decoder, ModuleIdentityUpdatesOnlyTheSendersOnlyModule)
{
    Bytes identity = {0x00, 0x02, 0x00, 0x05, 0x87, 0x01, 0x02, 0x03, 0x04, 0x87};
    const Bytes n = name("Module");
    identity.insert(identity.end(), n.begin(), n.end());
    identity.push_back(0x87);
    feed(frame(0x08, identity), "10.0.0.9"); // no module list yet: ignored
    EXPECT_TRUE(engine.ModuleList.empty());
    feed(frame(0x06, {16}), "10.0.0.9");
    feed(frame(0x08, identity), "10.0.0.9");
    ASSERT_EQ(engine.ModuleList.size(), 1u);
    EXPECT_EQ(engine.ModuleList[0].NameText, QStringLiteral("Module"));
    EXPECT_EQ(engine.ModuleList[0].TypeText, QStringLiteral("2.5"));
    feed(frame(0x06, {16, 17}), "10.0.0.9");
    feed(frame(0x08, identity), "10.0.0.9"); // two modules: which one is unknown
    EXPECT_EQ(engine.ModuleList[0].NameText, QStringLiteral("Not defined"));
    EXPECT_EQ(engine.ModuleList[1].ModuleAddressText, QStringLiteral("17"));
}

} // namespace

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/QLMCSession.h"
#include "base/Diagnostics.h"
#include "platform/AutoResetEvent.h"
#include "protocol/PacketChecksum.h"
#include "support/Bytes.h"
#include "support/RecordingListener.h"

#include <gtest/gtest.h>

#include <random>

using testsupport::hexBytes;
using testsupport::RecordingListener;

namespace {

class Decoder : public ::testing::Test
{
protected:
    RecordingListener listener;
    QLMCSession session{&listener};
    std::vector<std::pair<QString, QString>> boxes;

    void SetUp() override
    {
        ResetLogState();
        // Errors go to the message-box hook only, so the test can read them.
        SetLogTarget(LogOutput::MessageBox, QStringLiteral("."), QStringLiteral("Tarvine"));
        SetLogMessageBoxHandler([this](const QString &caption, const QString &text, LogBoxIcon) {
            boxes.emplace_back(caption, text);
        });
        session.connection().ComMode = ComModes::TcpDirect;
    }
    void TearDown() override { ResetLogState(); }

    void answer(const std::string &payloadHex, int function = 0x23)
    {
        QLMCIPPacket packet;
        const auto bytes = hexBytes(payloadHex);
        std::copy(bytes.begin(), bytes.end(), packet.Data.begin());
        packet.Function = function;
        packet.Length = int(bytes.size());
        session.DataReceived(packet);
    }
};

TEST_F(Decoder, DirectAnswerStoresValuesAndRaisesFlags)
{
    answer("26 00 00 01 00 28 FF FF FF 9C");
    ReceivedValues values;
    NewValueFlags flags;
    session.takeDisplayValues(values, flags);
    EXPECT_EQ(values.Position, 256);
    EXPECT_EQ(values.Speed, -100);
    EXPECT_TRUE(flags.isRaised(ValueFlag::Position));
    EXPECT_TRUE(flags.isRaised(ValueFlag::Speed));
    EXPECT_FALSE(flags.isRaised(ValueFlag::Desired));
    EXPECT_EQ(session.motor().LastPosition, 256);
    EXPECT_EQ(session.motor().registerAt(0x28)->Value,
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x9C}));

    // Taking the values clears the flags; values stay.
    session.takeDisplayValues(values, flags);
    EXPECT_FALSE(flags.any());
    EXPECT_EQ(values.Position, 256);
}

TEST_F(Decoder, ConversionsOfTheLiveValues)
{
    // Voltage 24.5 V, temperature 36.25, Kaff 0.5 (8.24), current sense live/min/max.
    answer("07 00 18 80 00 29 00 24 40 00 63 00 80 00 00 2B 01 00 FF 80 02 00 01 00 03 01 02");
    ReceivedValues v;
    NewValueFlags f;
    session.takeDisplayValues(v, f);
    EXPECT_FLOAT_EQ(v.Voltage, 24.5f);
    EXPECT_FLOAT_EQ(v.Temperature, 36.25f);
    EXPECT_FLOAT_EQ(v.Kaff, 0.5f);
    // The first 8.8 value goes into the last slot.
    EXPECT_FLOAT_EQ(v.CurrentLive, 1.0f);
    EXPECT_FLOAT_EQ(v.CurrentMin, -0.5f);
    EXPECT_FLOAT_EQ(v.CurrentMax, 2.0f);
    EXPECT_EQ(v.Version, 0x00030102u);
    EXPECT_TRUE(f.isRaised(ValueFlag::Version));
}

TEST_F(Decoder, TypeAndVersionInOneAnswerStartTheIdentification)
{
    answer("00 00 02 00 01");
    EXPECT_EQ(listener.count("identify"), 0);
    answer("00 00 02 00 01 01 00 03 00 02");
    EXPECT_EQ(listener.count("identify"), 1);
    EXPECT_EQ(session.Device.DeviceType, 0x00020001u);
    EXPECT_EQ(session.Device.DeviceVersion, 0x00030002u);
}

TEST_F(Decoder, UnknownAddressesEndTheAnswerWithALogEntry)
{
    answer("09 26 00 00 00 05");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].second.endsWith(QStringLiteral("Unknown variable ADD=0x09")));
    EXPECT_EQ(session.motor().LastPosition, 0);

    boxes.clear();
    answer("26 00 00 00 07 C8 00 00 00 01");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].second.endsWith(QStringLiteral("ADD=0xC8")));
    // Registers before the unknown one are decoded; nothing is displayed.
    EXPECT_EQ(session.motor().LastPosition, 7);
    EXPECT_EQ(listener.count("arm"), 0);
}

TEST_F(Decoder, ValueRunningPastThePayloadIsNotDecoded)
{
    answer("28 00 00 00 03 26 00 00");
    EXPECT_EQ(session.motor().LastSpeed, 3);
    EXPECT_EQ(session.motor().LastPosition, 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Decoder, GatewayReadAnswersUseTheRequestedAddresses)
{
    session.connection().ComMode = ComModes::TcpGateway;
    session.connection().Phase = Phases::Read;
    session.connection().RequestedAddresses.fill(0xFF);
    session.connection().RequestedAddresses[0] = 0x26;
    answer("00 00 00 2A 87");
    EXPECT_EQ(session.motor().LastPosition, 42);

    // A status other than 0x87 stops the walk and counts an acknowledge error.
    session.connection().RequestedAddresses[1] = 0x28;
    answer("00 00 00 2B 20 00 00 00 09 87");
    EXPECT_EQ(session.motor().LastPosition, 43);
    EXPECT_EQ(session.motor().LastSpeed, 0);
    EXPECT_EQ(session.commErrors(), 1);
    EXPECT_EQ(listener.lastStatus(3), "Com error : 1 (ACK)");
}

TEST_F(Decoder, GatewayWriteAnswersAreCheckedForOneAcknowledgePerItem)
{
    session.connection().ComMode = ComModes::TcpGateway;
    session.connection().Phase = Phases::Write;
    session.connection().GatewayWriteItems = 2;
    answer("87 87");
    EXPECT_EQ(session.commErrors(), 0);
    answer("87");
    EXPECT_EQ(session.commErrors(), 1);
    answer("87 20");
    EXPECT_EQ(session.commErrors(), 2);
    EXPECT_EQ(listener.lastStatus(3), "Com error : 2 (ACK)");
}

TEST_F(Decoder, LostPacketsShowWhenTheirCountGrows)
{
    session.statistics().readRequestsSent = 3;
    answer("26 00 00 00 01");
    EXPECT_EQ(listener.lastStatus(3), "Com error : 2 (PKT)");
    listener.clear();
    session.statistics().readRequestsSent = 4;
    answer("26 00 00 00 01"); // still 2 lost: nothing new shown
    EXPECT_EQ(listener.lastStatus(3), "");
    EXPECT_EQ(session.statistics().shown.lostPackets, 2);
}

TEST_F(Decoder, ModeAnswerRightAfterAClickOnlyRestoresTheSynchronisation)
{
    session.ModeSync = false;
    answer("20 05");
    ReceivedValues v;
    NewValueFlags f;
    session.takeDisplayValues(v, f);
    EXPECT_FALSE(f.isRaised(ValueFlag::RegulationMode));
    EXPECT_TRUE(session.ModeSync);
    answer("20 04");
    session.takeDisplayValues(v, f);
    EXPECT_TRUE(f.isRaised(ValueFlag::RegulationMode));
    EXPECT_EQ(v.RegulationMode, 4);
}

TEST_F(Decoder, DisplayIsArmedEveryDividerAnswers)
{
    for (int i = 0; i < 5; ++i)
        answer("26 00 00 00 01");
    EXPECT_EQ(listener.count("arm"), 1);
    answer(""); // an empty answer decodes nothing and does not count
    for (int i = 0; i < 4; ++i)
        answer("26 00 00 00 01");
    EXPECT_EQ(listener.count("arm"), 1);
    answer("26 00 00 00 01");
    EXPECT_EQ(listener.count("arm"), 2);

    session.DisplayDivider = 0; // refresh positions 51..100: every answer
    answer("26 00 00 00 01");
    answer("26 00 00 00 01");
    EXPECT_EQ(listener.count("arm"), 4);
}

TEST_F(Decoder, FeatureRecordsAndTheirNotifications)
{
    session.GraphicEnabled = true;
    answer("2E FF FF FF FF");
    EXPECT_FALSE(session.Options.OutputVoltageLimited);
    answer("2E 00 0C 00 00 2F 00 02 80 00");
    EXPECT_TRUE(session.Options.OutputVoltageLimited);
    EXPECT_EQ(session.Options.OutputVoltageTenths, 120);
    EXPECT_EQ(session.Options.DissipationTenths, 25);
    answer("2A 00 01 80 00");
    EXPECT_EQ(session.Options.CurrentMaxText, QStringLiteral("1.50000"));
    answer("56 01 02 03 04 55 12 34");
    EXPECT_EQ(session.IO.State, (std::array<uint8_t, 4>{4, 3, 2, 1}));
    EXPECT_EQ(session.IO.Config, 0x1234);
    answer("4D 94 65 00 00 01 00 4F 00 00 00 01 00 64 02 00");
    EXPECT_EQ(session.EnhancedCmd.Options, 0x94);
    EXPECT_EQ(session.EnhancedCmd.Function, 0x65);
    EXPECT_EQ(session.EnhancedCmd.Goal, 256u);
    EXPECT_EQ(session.EnhancedCmd.ParamHigh, 100);
    EXPECT_EQ(session.EnhancedCmd.ParamLow, 512);
    answer("53 00 00 00 07 5B FF FF FF FF");
    EXPECT_EQ(session.Limits.XInput[0], 7);
    EXPECT_EQ(session.Limits.XInput[1], -1);
    answer("15 41 42 43 20 20 20 20 20 20 20 20 20 20 20 20 20 14 2D");
    EXPECT_EQ(session.Device.DeviceName, QStringLiteral("ABC             "));
    EXPECT_EQ(session.Device.TcpWatchdog, 45);

    const auto events = listener.events();
    const auto has = [&](const std::string &e) {
        return std::find(events.begin(), events.end(), e) != events.end();
    };
    EXPECT_TRUE(
        has("direct" + std::to_string(int(SessionListener::DirectValue::OutputVoltageMax))));
    EXPECT_TRUE(has("direct" + std::to_string(int(SessionListener::DirectValue::DeviceName))));
    EXPECT_TRUE(has("display" + std::to_string(int(SessionListener::Display::EnhancedCmd))));
    EXPECT_TRUE(has("display" + std::to_string(int(SessionListener::Display::EnhancedParam))));
    EXPECT_EQ(listener.count("limits"), 1);
    EXPECT_EQ(listener.count("sample"), 7);
}

TEST_F(Decoder, RestorePendingReadsTheRegulationParametersBack)
{
    session.RestorePending = true;
    answer("26 00 00 00 01");
    EXPECT_FALSE(session.RestorePending);
    std::vector<int> requested;
    for (const QLMCRegister &reg : session.motor().registers())
        if (reg.ReadRequest)
            requested.push_back(reg.Address);
    EXPECT_EQ(requested, (std::vector<int>{0x33, 0x34, 0x35, 0x36, 0x40, 0x41, 0x42, 0x43, 0x44,
                                           0x61, 0x62, 0x63, 0x64}));
}

TEST_F(Decoder, ChecksumErrorsCountUpToTheirCap)
{
    for (int i = 0; i < 1005; ++i)
        session.frameDropped(AnswerSink::FrameError::Checksum);
    EXPECT_EQ(session.commErrors(), 999);
    EXPECT_EQ(listener.lastStatus(3), "Com error : 999 (CS)");
}

// One framed answer with a valid checksum.
std::vector<uint8_t> frameOf(const std::string &payloadHex)
{
    const auto payload = hexBytes(payloadHex);
    std::vector<uint8_t> bytes{0x00, 0x23, 0x00, 0x01, 0x00, uint8_t(payload.size())};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    const uint16_t cs = PacketChecksum(bytes.data(), bytes.size());
    bytes.push_back(uint8_t(cs >> 8));
    bytes.push_back(uint8_t(cs));
    return bytes;
}

TEST_F(Decoder, AnswersOfAnEarlierConnectionAreNeverDecoded)
{
    AutoResetEvent answerEvent;
    session.setAnswerEvent(&answerEvent);
    const uint32_t old = session.connection().Generation;
    session.connection().Generation = old + 1; // closed and opened again
    // Type 7 and a version: the old device's identification answer, late.
    const auto late = frameOf("00 00 07 00 01 01 00 07 00 12");
    for (bool datagram : {true, false}) {
        session.feedAnswerBytes(late.data(), late.size(), old, datagram);
        EXPECT_EQ(session.Device.DeviceType, 0u);
        EXPECT_EQ(session.statistics().answersDecoded, 0);
        EXPECT_EQ(answerEvent.wait(0), WaitResult::Timeout);
        EXPECT_EQ(listener.count("identify"), 0);
    }
    EXPECT_EQ(session.statistics().staleAnswers, 2);
    // The same bytes on the current connection, as the answer awaited, are decoded.
    session.connection().AwaitedTransaction = 1;
    session.feedAnswerBytes(late.data(), late.size(), old + 1, true);
    EXPECT_EQ(session.Device.DeviceType, 0x00070001u);
    EXPECT_EQ(session.Device.TypeVersionGeneration, old + 1);
    EXPECT_EQ(answerEvent.wait(0), WaitResult::Signalled);
    session.setAnswerEvent(nullptr);
}

TEST_F(Decoder, GatewayStatusByteWhereTheValueWouldBeIsAnAcknowledgeError)
{
    session.connection().ComMode = ComModes::TcpGateway;
    session.connection().Phase = Phases::Read;
    session.connection().RequestedAddresses.fill(0xFF);
    session.connection().RequestedAddresses[0] = 0x00;
    session.connection().RequestedAddresses[1] = 0x01;
    answer("20 20"); // status bytes only: the module did not acknowledge
    EXPECT_EQ(listener.lastStatus(3), "Com error : 1 (ACK)");
    answer("87"); // shorter than a value, but acknowledged: just not decoded
    EXPECT_EQ(session.commErrors(), 1);
}

TEST_F(Decoder, EveryOpenStartsFromEmptyFeatureRecords)
{
    answer("2C 00 00 00 FF 50 00 00 00 03 4D 01 02 00 00 00 09 00 00 06 00 01 00 00 00");
    ASSERT_EQ(session.Options.OptionBits, 0xFFu);
    ASSERT_EQ(session.Limits.Setup[0], 3u);
    session.replaceMotor();
    EXPECT_EQ(session.Options.OptionBits, 0u);
    EXPECT_EQ(session.Limits.Setup[0], 0u);
    EXPECT_EQ(session.EnhancedCmd.Goal, 0u);
    EXPECT_EQ(session.Device.DeviceType, 0u);
}

TEST_F(Decoder, ReceivedMarksFollowTheAnswersAndEveryOpenClearsThem)
{
    const uint64_t start = session.answerSequence();
    answer("26 00 00 01 00 33 00 02 80 00");
    const uint64_t first = session.answerSequence();
    EXPECT_GT(first, start);
    answer("33 00 03 00 00");
    const QLMCIPMotor &motor = session.motor();
    EXPECT_EQ(motor.registerAt(Reg::Position)->ReceivedSequence, first);
    EXPECT_TRUE(motor.registerAt(Reg::Kp)->receivedAfter(first));
    EXPECT_FALSE(motor.registerAt(Reg::Position)->receivedAfter(first));
    EXPECT_FALSE(motor.registerAt(Reg::Speed)->received());

    ReceivedValues values;
    NewValueFlags flags;
    std::bitset<RegisterCount> received;
    session.takeDisplayValues(values, flags, &received);
    EXPECT_TRUE(received.test(Reg::Position) && received.test(Reg::Kp));
    EXPECT_EQ(received.count(), 2u);

    // A new connection: nothing received yet, no value or flag of the old one.
    answer("28 00 00 00 05");
    session.replaceMotor();
    for (const QLMCRegister &reg : session.motor().registers())
        EXPECT_FALSE(reg.received()) << reg.Address;
    session.takeDisplayValues(values, flags, &received);
    EXPECT_TRUE(received.none());
    EXPECT_FALSE(flags.isRaised(ValueFlag::Speed));
    EXPECT_EQ(values.Position, 0);
    EXPECT_EQ(values.Speed, 0);
}

TEST_F(Decoder, HostilePayloadsNeverCrash)
{
    std::mt19937 random(3);
    for (int mode : {ComModes::TcpDirect, ComModes::TcpGateway, ComModes::Closed, 7}) {
        session.connection().ComMode = mode;
        for (int round = 0; round < 2000; ++round) {
            QLMCIPPacket packet;
            packet.Length = int(random() % 1001);
            for (int i = 0; i < packet.Length; ++i)
                packet.Data[size_t(i)] = uint8_t(random() % 0x70);
            session.connection().Phase = int(random() % 3);
            session.DataReceived(packet);
        }
    }
    SUCCEED();
}

} // namespace

TEST_F(Decoder, ModuleListsCountOnlyDuringAScanAndOnlyAddressableModules)
{
    // A module list (0x0006) of 0x00, 0x10, 0x11, 0x80.
    auto list = frameOf("00 10 11 80");
    list[1] = 0x06;
    const uint16_t cs = PacketChecksum(list.data(), list.size() - 2);
    list[list.size() - 2] = uint8_t(cs >> 8);
    list[list.size() - 1] = uint8_t(cs);
    const uint32_t generation = session.connection().Generation;
    const auto scans = [this] {
        const auto events = listener.events();
        return std::vector<std::string>(
            std::find_if(events.begin(), events.end(),
                         [](const std::string &e) { return e.rfind("scan", 0) == 0; }),
            events.end());
    };

    session.feedAnswerBytes(list.data(), list.size(), generation, false);
    EXPECT_TRUE(scans().empty());
    EXPECT_EQ(session.statistics().unaskedScanAnswers.load(), 1);

    session.connection().ScanningI2C = true;
    session.connection().AwaitedTransaction = 1; // the scan request in flight
    session.feedAnswerBytes(list.data(), list.size(), generation, false);
    ASSERT_FALSE(scans().empty());
    EXPECT_EQ(scans().front(), "scan2");
}

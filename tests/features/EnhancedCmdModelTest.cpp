// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The enhanced-command window's behaviour without widgets: typing checks,
// clicks, Writes (bytes requested in the image) and displays of read values.
#include "features/EnhancedCmdModel.h"

#include "base/NumberText.h"
#include "device/DeviceRecords.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace Codec = EnhancedCommandCodec;

namespace {

template<typename T>
std::vector<uint8_t> bytesOf(const T &value)
{
    const auto encoded = Codec::encode(value);
    return {encoded.begin(), encoded.end()};
}

QString local(QString text)
{
    return text.replace(QLatin1Char('.'), localeDecimalSeparator());
}

class EnhancedModel : public ::testing::Test
{
protected:
    QLMCSession session;
    EnhancedCmdModel model{&session};
    const EnhancedCmdControls &c = model.controls();

    void SetUp() override
    {
        RegisterLockGuard guard(session.lock());
        for (int a : {Reg::EnhancedInput, Reg::LoopsConfig, Reg::EnhancedParams})
            session.motor().setAccess(a, true, true);
    }
    /// The bytes of the pending write of \a address (empty when none); clears it.
    std::vector<uint8_t> takeWrite(int address)
    {
        RegisterLockGuard guard(session.lock());
        QLMCRegister *reg = session.motor().registerAt(address);
        if (!reg->WriteRequest)
            return {};
        reg->WriteRequest = false;
        return {reg->WriteValue.begin(), reg->WriteValue.begin() + reg->Size};
    }
};

} // namespace

TEST_F(EnhancedModel, GoalInPulsesChecksTextLengthAndRange)
{
    struct Row
    {
        const char *text;
        bool valid;
    };
    const Row rows[] = {{"1000000000", true},  {"-1000000000", true}, {"1000000001", false},
                        {"00000000001", false}, {"-0000000001", true}, {"-", false},
                        {"+5", false},          {"1 2", false},        {"", false},
                        {"1.5", false},         {"99999999999999999999999", false}};
    for (const Row &r : rows) {
        model.goalTextChanged(QString::fromLatin1(r.text));
        EXPECT_EQ(c.goalRed, !r.valid) << r.text;
        EXPECT_EQ(c.writeCommandEnabled, r.valid) << r.text;
        EXPECT_EQ(c.commandTrace.contains("--"), !r.valid) << r.text;
    }
    model.goalTextChanged("1000000001");
    EXPECT_EQ(model.writeCommand().report, EnhancedCmdModel::BadInput);
    EXPECT_TRUE(takeWrite(Reg::EnhancedInput).empty());
    model.goalTextChanged("1000");
    model.commandClicked(101);
    const EnhancedWriteResult r = model.writeCommand();
    EXPECT_EQ(r.bytes, (std::vector<uint8_t>{0x80, 0x65, 0x00, 0x00, 0x03, 0xE8}));
    EXPECT_EQ(takeWrite(Reg::EnhancedInput), r.bytes);
    EXPECT_EQ(c.commandWritten, "0x4D-Enhanced cmd :          [0x80 65 00 00 03 E8]");
    EXPECT_FALSE(c.commandTracesRed);
}

TEST_F(EnhancedModel, GoalInPercentCutsDecimalsAndSendsWhatItPreviews)
{
    model.goalInPercentClicked();
    model.goalTextChanged(local("1.23456"));
    EXPECT_EQ(c.goalText, local("1.234"));
    EXPECT_FALSE(c.goalRed);
    model.goalTextChanged(local("12.34567")); // eight characters: refused, not cut
    EXPECT_EQ(c.goalText, local("12.34567"));
    EXPECT_TRUE(c.goalRed);
    EXPECT_FALSE(c.writeCommandEnabled);

    // 50 %: preview and write agree on 0x7FFFFF; the traces stay black.
    model.goalTextChanged("50");
    EXPECT_EQ(c.commandTrace, "0x4D-Enhanced cmd : [0x90 00 00 7F FF FF]");
    EXPECT_EQ(model.writeCommand().bytes, (std::vector<uint8_t>{0x90, 0, 0x00, 0x7F, 0xFF, 0xFF}));
    EXPECT_FALSE(c.commandTracesRed);
    // 100 % no longer wraps: typing admits it as the Write does.
    model.goalTextChanged("100");
    EXPECT_TRUE(c.writeCommandEnabled);
    EXPECT_EQ(model.writeCommand().bytes, (std::vector<uint8_t>{0x90, 0, 0x00, 0xFF, 0xFF, 0xFF}));
    model.goalTextChanged(local("100.1"));
    EXPECT_TRUE(c.goalRed);
    EXPECT_EQ(model.writeCommand().report, EnhancedCmdModel::BadInput);
}

TEST_F(EnhancedModel, CounterLoopsAndCommands)
{
    model.counterTextChanged("100"); // typing admits -99..99
    EXPECT_TRUE(c.counterRed);
    EXPECT_FALSE(c.writeCommandEnabled);
    model.goalTextChanged("5"); // the red counter keeps Write off
    EXPECT_FALSE(c.writeCommandEnabled);
    model.counterTextChanged("-99");
    EXPECT_EQ(c.commandTrace, "0x4D-Enhanced cmd : [0x80 9D 00 00 00 05]");
    model.counterTextChanged("12345");
    EXPECT_EQ(model.writeCommand().report, EnhancedCmdModel::BadCounter);

    // 107 takes EnGoal from the disabled edit; a numbered command clears the counter's red.
    model.goalTextChanged("300");
    model.commandClicked(107);
    EXPECT_FALSE(c.goalEnabled);
    EXPECT_FALSE(c.counterEnabled);
    EXPECT_FALSE(c.counterRed);
    EXPECT_TRUE(c.writeCommandEnabled);
    EXPECT_EQ(model.writeCommand().bytes, (std::vector<uint8_t>{0x80, 0x6B, 0, 0, 0x01, 0x2C}));

    // Absolute mode greys the loop texts, peak current and absolute set their bits.
    model.absoluteClicked(true);
    model.peakCurrentClicked(true);
    EXPECT_TRUE(c.greyed);
    EXPECT_EQ(Codec::byteList(c.commandTrace), "0x8C 6B 00 00 01 2C");
    model.absoluteClicked(false);
    EXPECT_FALSE(c.greyed);

    model.counterLoopsClicked();
    EXPECT_TRUE(c.goalEnabled);
    EXPECT_TRUE(c.counterEnabled);
    EXPECT_EQ(c.selection, 0);
    EXPECT_TRUE(c.counterRed); // "12345" is still there
    EXPECT_TRUE(c.commandTrace.contains("--"));
}

TEST_F(EnhancedModel, DisplayOfReadCommands)
{
    // 0x94: percent and "Absolute value" checked, peak current cleared.
    model.peakCurrentClicked(true);
    EXPECT_TRUE(model.displayCommand({0x94, 5, 0x7FFFFF}));
    EXPECT_TRUE(c.goalInPercent);
    EXPECT_FALSE(c.goalInPulses);
    EXPECT_TRUE(c.absolute);
    EXPECT_FALSE(c.peakCurrent);
    EXPECT_EQ(c.goalText, local("50.000"));
    EXPECT_EQ(c.counterText, "5");
    EXPECT_EQ(c.commandTrace, "0x4D-Enhanced cmd : [0x94 05 00 7F FF FF]");

    // Counter 100 is shown though it is red; -100 likewise.
    model.displayCommand({0x80, 100, 7});
    EXPECT_EQ(c.selection, 0);
    EXPECT_EQ(c.counterText, "100");
    EXPECT_TRUE(c.counterRed);
    EXPECT_FALSE(c.writeCommandEnabled);
    EXPECT_EQ(c.goalText, "7");
    model.displayCommand({0x80, 110, 1500});
    EXPECT_EQ(c.selection, 110);
    EXPECT_EQ(c.commandTrace, "0x4D-Enhanced cmd : [0x80 6E 00 00 05 DC]");

    // Unknown function bytes keep the selection; reserved option bits are ignored
    // by the controls but shown in the caption.
    EXPECT_FALSE(model.displayCommand({0xFF, 118, 1}));
    EXPECT_EQ(c.selection, 110);
    EXPECT_EQ(c.commandTrace, "0x4D-Enhanced cmd : [0xFF 76 00 00 00 01]");
    EXPECT_FALSE(model.displayCommand({0x80, -101, 1}));

    // A negative percentage shows "-", red, Write off; the caption keeps the bytes.
    model.displayCommand({0x90, 0, int32_t(0xFF800000)});
    EXPECT_EQ(c.goalText, "-");
    EXPECT_TRUE(c.goalRed);
    EXPECT_FALSE(c.writeCommandEnabled);
    EXPECT_EQ(c.commandTrace, "0x4D-Enhanced cmd : [0x90 00 FF 80 00 00]");
}

TEST_F(EnhancedModel, LoopsConfiguration)
{
    model.pulsesTextChanged("1000000");
    model.numeratorTextChanged("1");
    model.denominatorTextChanged("3");
    EXPECT_EQ(c.totalText, local("1'000'000.33333"));
    EXPECT_TRUE(c.writeLoopsEnabled);
    EXPECT_EQ(model.writeLoops().bytes,
              (std::vector<uint8_t>{0, 0, 0, 3, 0, 0, 0, 1, 0x00, 0x0F, 0x42, 0x40}));
    EXPECT_FALSE(c.loopsTracesRed);

    model.pulsesTextChanged("000123");
    model.numeratorTextChanged("0");
    EXPECT_EQ(c.totalText, local("123.0"));
    model.numeratorTextChanged("5");
    model.denominatorTextChanged("5");
    EXPECT_TRUE(c.numeratorRed);
    EXPECT_TRUE(c.denominatorRed);
    EXPECT_FALSE(c.pulsesRed);
    EXPECT_EQ(c.totalText, "---");
    EXPECT_FALSE(c.writeLoopsEnabled);
    EXPECT_TRUE(c.loopsTrace.contains("--"));
    // The core refuses what the disabled button would.
    EXPECT_EQ(model.writeLoops().report, EnhancedCmdModel::BadValues);
    model.numeratorTextChanged("0");
    model.denominatorTextChanged("0");
    EXPECT_TRUE(c.denominatorRed);
    EXPECT_EQ(model.writeLoops().report, EnhancedCmdModel::BadValues);
    model.pulsesTextChanged("4294967296");
    EXPECT_TRUE(c.pulsesRed);
    EXPECT_TRUE(takeWrite(Reg::LoopsConfig).size() == 12); // only the first write

    // A read 3,000,000,000 is unsigned; a read denominator 0 is red.
    model.displayLoops({3'000'000'000u, 7, 3'000'000'000u});
    EXPECT_EQ(c.pulsesText, "3000000000");
    EXPECT_EQ(c.denominatorText, "3000000000");
    EXPECT_EQ(c.totalText.left(13), "3'000'000'000");
    EXPECT_FALSE(c.denominatorRed);
    model.displayLoops({0, 1, 2000});
    EXPECT_TRUE(c.denominatorRed);
    EXPECT_EQ(c.totalText, "---");
}

TEST_F(EnhancedModel, PeakCurrentAndDuration)
{
    model.peakTextChanged(local("1.0039"));
    model.durationTextChanged("100");
    const EnhancedWriteResult r = model.writeParams();
    EXPECT_EQ(r.bytes, (std::vector<uint8_t>{0, 0, 0, 0, 0x00, 0x64, 0x01, 0x01}));
    EXPECT_EQ(c.peakText, local("1.004"));
    EXPECT_EQ(c.paramsWritten, "0x4F-Enhanced parameters :   [0x00 00 00 00 00 64 01 01]");
    EXPECT_FALSE(c.paramsTracesRed);

    struct Row
    {
        const char *peak;
        bool valid;
    };
    for (const Row &row : {Row{"255.996", true}, Row{"255.999", false}, Row{"256", false},
                           Row{"-1", false}, Row{"12345678", false}}) {
        model.peakTextChanged(local(row.peak));
        EXPECT_EQ(c.peakRed, !row.valid) << row.peak;
        EXPECT_EQ(c.writeParamsEnabled, row.valid) << row.peak;
    }
    model.durationTextChanged("65536");
    EXPECT_TRUE(c.durationRed);
    model.durationTextChanged("65535");
    EXPECT_FALSE(c.durationRed);

    // A red duration, then a valid peak: Write stays off, and checks both anyway.
    model.durationTextChanged("70000");
    model.peakTextChanged("2");
    EXPECT_FALSE(c.writeParamsEnabled);
    EXPECT_EQ(model.writeParams().report, EnhancedCmdModel::BadValues);
    takeWrite(Reg::EnhancedParams);

    // Read values: a non-zero head stays in the caption, so a write turns both red.
    model.displayParams({0x01020304, 500, 25601});
    EXPECT_EQ(c.peakText, local("100.004"));
    EXPECT_EQ(c.durationText, "500");
    EXPECT_EQ(c.paramsTrace, "0x4F-Enhanced parameters : [0x01 02 03 04 01 F4 64 01]");
    EXPECT_EQ(model.writeParams().bytes, (std::vector<uint8_t>{0, 0, 0, 0, 0x01, 0xF4, 0x64, 0x01}));
    EXPECT_TRUE(c.paramsTracesRed);

    // A disabled group keeps its Write off whatever is typed.
    model.setParamsGroupEnabled(false);
    model.peakTextChanged("1");
    EXPECT_FALSE(c.writeParamsEnabled);
}

TEST_F(EnhancedModel, AnInvalidEditBlanksItsGroupsCaptionCopyAndWrite)
{
    // Each row ends with one edit of the group invalid, whatever came last.
    struct Row
    {
        const char *what;
        std::function<void(EnhancedCmdModel &)> steps;
        bool params; ///< the 0x4F group, else 0x4D
    };
    const Row rows[] = {
        {"red EnGoal, then a valid counter",
         [](EnhancedCmdModel &m) {
             m.goalTextChanged("1000000001");
             m.counterTextChanged("5");
         },
         false},
        {"red counter, then a valid EnGoal",
         [](EnhancedCmdModel &m) {
             m.counterTextChanged("100");
             m.goalTextChanged("7");
         },
         false},
        {"107 (EnGoal disabled) whose kept text is no percentage",
         [](EnhancedCmdModel &m) {
             m.goalTextChanged("150");
             m.commandClicked(107);
             m.goalInPercentClicked();
         },
         false},
        {"red duration, then a valid peak",
         [](EnhancedCmdModel &m) {
             m.durationTextChanged("70000");
             m.peakTextChanged(local("1.5"));
         },
         true},
        {"red peak, then a valid duration",
         [](EnhancedCmdModel &m) {
             m.peakTextChanged("256");
             m.durationTextChanged("100");
         },
         true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        EnhancedCmdModel m(&session);
        row.steps(m);
        const EnhancedCmdControls &k = m.controls();
        EXPECT_EQ(row.params ? k.paramsTrace : k.commandTrace,
                  row.params ? "0x4F-Enhanced parameters : [0x-- -- -- -- -- -- -- --]"
                             : "0x4D-Enhanced cmd : [0x-- -- -- -- -- --]");
        EXPECT_FALSE(row.params ? k.copyParamsEnabled : k.copyCommandEnabled);
        EXPECT_FALSE(row.params ? k.writeParamsEnabled : k.writeCommandEnabled);
    }
    // Valid again: the caption shows what Write sends.
    model.goalTextChanged("150");
    model.commandClicked(107);
    model.goalInPercentClicked();
    model.goalInPulsesClicked();
    EXPECT_TRUE(c.copyCommandEnabled);
    EXPECT_EQ(Codec::byteList(c.commandTrace), "0x80 6B 00 00 00 96");
    EXPECT_EQ(Codec::byteList(c.commandTrace),
              Codec::byteList(Codec::commandTrace(*Codec::decodeCommand(model.writeCommand().bytes))));
}

TEST_F(EnhancedModel, ReadAndWriteNeedTheConnectionAndTheRegistersAccess)
{
    struct Row
    {
        bool connected;
        bool readable;
        bool writable;
    };
    for (const Row r : {Row{false, true, true}, Row{true, false, false}, Row{true, true, false},
                        Row{true, true, true}}) {
        SCOPED_TRACE(testing::Message() << r.connected << r.readable << r.writable);
        {
            RegisterLockGuard guard(session.lock());
            for (int a : {Reg::EnhancedInput, Reg::LoopsConfig, Reg::EnhancedParams})
                session.motor().setAccess(a, r.readable, r.writable);
        }
        model.setConnected(r.connected);
        model.denominatorTextChanged("2"); // every group valid
        const bool reads = r.connected && r.readable;
        const bool writes = r.connected && r.writable;
        EXPECT_EQ(c.readCommandEnabled, reads);
        EXPECT_EQ(c.readLoopsEnabled, reads);
        EXPECT_EQ(c.readParamsEnabled, reads);
        EXPECT_EQ(c.writeCommandEnabled, writes);
        EXPECT_EQ(c.writeLoopsEnabled, writes);
        EXPECT_EQ(c.writeParamsEnabled, writes);
        EXPECT_TRUE(c.copyCommandEnabled); // Copy needs no connection

        // A Write that cannot go out is refused and shows nothing as written.
        EnhancedCmdModel fresh(&session);
        fresh.setConnected(r.connected);
        const EnhancedWriteResult w = fresh.writeCommand();
        EXPECT_EQ(w.written(), writes);
        EXPECT_EQ(takeWrite(Reg::EnhancedInput).empty(), !writes);
        EXPECT_EQ(fresh.controls().commandWritten.isEmpty(), !writes);
        EXPECT_EQ(w.report, writes ? QString() : QString::fromLatin1(EnhancedCmdModel::NotSent));
    }
}

TEST_F(EnhancedModel, AnOptionTheModelDoesNotOfferIsNeverSent)
{
    model.setOptionsOffered(true, false);
    // The device's 0x4D holds "Absolute value": shown in the caption, not checked.
    model.displayCommand({0x84, 5, 1000});
    EXPECT_FALSE(c.absolute);
    EXPECT_FALSE(c.greyed);
    EXPECT_EQ(Codec::byteList(c.commandTrace), "0x84 05 00 00 03 E8");
    model.absoluteClicked(true);
    EXPECT_FALSE(c.absolute);
    EXPECT_EQ(model.writeCommand().bytes, (std::vector<uint8_t>{0x80, 5, 0, 0, 0x03, 0xE8}));
    model.setOptionsOffered(false, true);
    model.peakCurrentClicked(true);
    model.absoluteClicked(true);
    EXPECT_EQ(model.writeCommand().bytes, (std::vector<uint8_t>{0x84, 5, 0, 0, 0x03, 0xE8}));
}

TEST(EnhancedModelRoundTrip, ReadValuesComposeTheSameBytes)
{
    // Any in-range read value, shown and written again, gives the bytes read.
    std::mt19937 random(14);
    EnhancedCmdModel model;
    for (int i = 0; i < 3000; ++i) {
        const bool percent = random() % 2;
        const int function = int(random() % 218) - 100; // -100..117
        int32_t goal = int32_t(random() % 2'000'000'001u) - 1'000'000'000;
        uint8_t options = uint8_t(0x80 | (random() % 2 ? 0x08 : 0) | (random() % 2 ? 0x04 : 0));
        if (percent) {
            options |= 0x10;
            // Values the three-decimal text carries exactly.
            goal = int32_t(*Codec::percentToGoal((random() % 100001) / 1000.0));
        }
        const Codec::Command command{options, int8_t(function), goal};
        model.displayCommand(command);
        const EnhancedWriteResult w = model.writeCommand();
        ASSERT_EQ(w.bytes, bytesOf(command))
            << model.controls().goalText.toStdString() << " f " << function;

        const Codec::Loops loops{uint32_t(random()) | 1u, 0, uint32_t(random())};
        Codec::Loops in = loops;
        in.numerator = uint32_t(random()) % in.denominator;
        model.displayLoops(in);
        ASSERT_EQ(model.writeLoops().bytes, bytesOf(in));

        const Codec::Params params{0, uint16_t(random()), uint16_t(random())};
        model.displayParams(params);
        ASSERT_EQ(model.writeParams().bytes, bytesOf(params));
    }
}

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The wavelength remote's settings file, conversions, adjustment edit rule and
// motion log, without widgets.
#include "base/NumberText.h"
#include "platform/Cp1252.h"
#include "platform/IniFile.h"
#include "remote/RemoteLog.h"
#include "remote/RemoteSettings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Message = RemoteSettingsMessage;

QString header(const char *version, const char *factor)
{
    QString text = QStringLiteral("[File Header]\r\n");
    if (version)
        text += QStringLiteral("File version=%1\r\n").arg(QLatin1String(version));
    if (factor)
        text += QStringLiteral("Conversion pulses vers micromètres=%1\r\n").arg(QLatin1String(factor));
    return text;
}

QString presets(std::initializer_list<std::pair<int, int>> sections)
{
    QString text;
    for (const auto &[index, position] : sections)
        text += QStringLiteral("[Préréglage %1]\r\nLongueur d'onde=%2\r\nPosition=%3\r\n")
                    .arg(index)
                    .arg(500 + index)
                    .arg(position);
    return text;
}

struct LoadCase
{
    const char *name;
    QString text;
    bool utf8;
    bool loaded;
    Message message;
    float factor; // starting from 7.0
    size_t presets;
    int32_t max, min, margin;
};

class RemoteSettingsLoad : public ::testing::TestWithParam<LoadCase>
{};

TEST_P(RemoteSettingsLoad, ReadsTheFile)
{
    const LoadCase &c = GetParam();
    RemoteSettings settings;
    settings.PulsesPerMicrometre = 7.0f;
    settings.PresetMax = 9;
    settings.PresetMin = 3;
    const QByteArray bytes = c.utf8 ? c.text.toUtf8() : Cp1252::fromUnicode(c.text);
    Message message = Message::None;
    EXPECT_EQ(LoadRemoteSettingsBytes(bytes, settings, message), c.loaded);
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(settings.PulsesPerMicrometre, c.factor);
    EXPECT_EQ(settings.Presets.size(), c.presets);
    EXPECT_EQ(settings.PresetMax, c.max);
    EXPECT_EQ(settings.PresetMin, c.min);
    EXPECT_EQ(settings.PresetMargin, c.margin);
}

const QString Good = header("1", "2.5");
constexpr int32_t Max32 = 2147483647;
constexpr int32_t Min32 = -2147483647 - 1;

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoteSettingsLoad,
    ::testing::Values(
        LoadCase{"Range", Good + presets({{0, 1000}, {1, 5000}, {2, 3000}}), false, true,
                 Message::None, 2.5f, 3, 5000, 1000, 200},
        LoadCase{"Utf8", Good + presets({{0, 1000}, {1, 5000}, {2, 3000}}), true, true,
                 Message::None, 2.5f, 3, 5000, 1000, 200},
        LoadCase{"GapEnds", Good + presets({{0, 10}, {1, 30}, {3, 99}}), false, true, Message::None,
                 2.5f, 2, 30, 10, 1},
        LoadCase{"FullScale", Good + presets({{0, Max32}, {1, Min32}}), false, true, Message::None,
                 2.5f, 2, Max32, Min32, 214748364},
        LoadCase{"Version2", header("2", "2.5") + presets({{0, 1}}), false, false,
                 Message::BadVersion, 7.0f, 0, 9, 3, 0},
        LoadCase{"VersionMissing", header(nullptr, "2.5") + presets({{0, 1}}), false, false,
                 Message::BadVersion, 7.0f, 0, 9, 3, 0},
        LoadCase{"FactorMissing", header("1", nullptr), false, false, Message::BadFactor, 7.0f, 0,
                 9, 3, 0},
        LoadCase{"FactorNegative", header("1", "-1"), false, false, Message::BadFactor, 7.0f, 0, 9,
                 3, 0},
        LoadCase{"FactorBeyondFloat", header("1", "1e39"), false, false, Message::BadFactor, 7.0f,
                 0, 9, 3, 0},
        LoadCase{"FactorZero", header("1", "0"), false, true, Message::None, 0.0f, 0, 9, 3, 0},
        LoadCase{"FactorBelowTheDisplay", header("1", "1e-45"), false, false, Message::BadFactor,
                 7.0f, 0, 9, 3, 0},
        LoadCase{"FactorShownAs0", header("1", "0.0004"), false, false, Message::BadFactor, 7.0f, 0,
                 9, 3, 0},
        LoadCase{"FactorSmallest", header("1", "0.0005"), false, true, Message::None, 0.0005f, 0, 9,
                 3, 0},
        LoadCase{"NoHeaderNoPresets", QStringLiteral("[Other]\r\na=1\r\n"), false, true,
                 Message::None, 7.0f, 0, 9, 3, 0},
        LoadCase{"PositionNotInteger",
                 header("1", "1") + QStringLiteral("[Préréglage 0]\r\nPosition=12abc\r\n"), false,
                 true, Message::None, 1.0f, 1, 0, 0, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RemoteSettingsFile, EncodingsReadOrAskForTheirMessage)
{
    const QString text = Good + presets({{0, 1000}, {1, 5000}});
    const auto utf16 = [&](bool bigEndian, bool mark) {
        QByteArray bytes;
        if (mark)
            bytes = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
        for (QChar c : text) {
            const char high = char(c.unicode() >> 8);
            const char low = char(c.unicode() & 0xFF);
            bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
        }
        return bytes;
    };
    // UTF-8 "Préréglage 0" beside a Windows-1252 "Préréglage 1": neither reading is right.
    const QByteArray mixed =
        (Good + presets({{0, 1000}})).toUtf8() + Cp1252::fromUnicode(presets({{1, 5000}}));
    const struct
    {
        const char *name;
        QByteArray bytes;
        Message message;
        size_t presets;
    } cases[] = {
        {"Windows-1252", Cp1252::fromUnicode(text), Message::None, 2},
        {"UTF-8 with mark", "\xEF\xBB\xBF" + text.toUtf8(), Message::None, 2},
        {"UTF-16LE", utf16(false, true), Message::None, 2},
        {"UTF-16BE", utf16(true, true), Message::None, 2},
        {"UTF-16BE without mark", utf16(true, false), Message::Undecodable, 0},
        {"UTF-16LE without mark", utf16(false, false), Message::Undecodable, 0},
        {"mixed", mixed, Message::Undecodable, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RemoteSettings settings;
        settings.PulsesPerMicrometre = 7.0f;
        settings.Presets.resize(3);
        Message message = Message::None;
        EXPECT_EQ(LoadRemoteSettingsBytes(c.bytes, settings, message), c.message == Message::None);
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(settings.Presets.size(), c.presets);
        EXPECT_EQ(settings.PulsesPerMicrometre, c.presets ? 2.5f : 7.0f);
    }
    EXPECT_EQ(remoteSettingsMessageText(Message::Undecodable),
              QStringLiteral("Le fichier ini KRV Remote ne peut pas être décodé (codage de "
                             "caractères inconnu)."));
}

TEST(RemoteSettingsFile, PresetsCappedAtHundredAndCommaFactorRead)
{
    QString text = header("1", "2.5").replace(QLatin1String("File version=1"),
                                             QLatin1String("File version=1.0"));
    for (int i = 0; i < 150; ++i)
        text += QStringLiteral("[Préréglage %1]\r\nPosition=%1\r\n").arg(i);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("KRVRemote.ini"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Cp1252::fromUnicode(text));
    file.close();
    RemoteSettings settings;
    Message message = Message::None;
    ASSERT_TRUE(LoadRemoteSettingsFile(path, settings, message));
    ASSERT_EQ(settings.Presets.size(), 100u);
    EXPECT_EQ(settings.Presets[99].PresetPosition, 99);
    EXPECT_EQ(settings.Presets[0].WaveLengthText, QStringLiteral("0"));
    EXPECT_EQ(settings.PulsesPerMicrometre, 2.5f);
    // A missing file: no message, presets gone, the factor kept.
    EXPECT_TRUE(LoadRemoteSettingsFile(dir.filePath(QStringLiteral("none.ini")), settings, message));
    EXPECT_EQ(message, Message::None);
    EXPECT_TRUE(settings.Presets.empty());
    EXPECT_EQ(settings.PresetMax, 99);
}

struct AdjustCase
{
    QString typed;
    QString shown;
    bool caretToEnd;
    bool valid;
    int64_t hundredths;
};

class AdjustmentRule : public ::testing::TestWithParam<std::tuple<QChar, AdjustCase>>
{};

TEST_P(AdjustmentRule, CutsAndChecks)
{
    const auto &[separator, c] = GetParam();
    const auto local = [sep = separator](QString text) {
        return text.replace(QLatin1Char('.'), sep);
    };
    const AdjustmentEdit result = adjustmentEdit(local(c.typed), separator);
    EXPECT_EQ(result.text, local(c.shown));
    EXPECT_EQ(result.caretToEnd, c.caretToEnd);
    EXPECT_EQ(result.valid, c.valid);
    EXPECT_EQ(result.hundredths, c.valid ? c.hundredths : -1);
}

INSTANTIATE_TEST_SUITE_P(
    BothSeparators, AdjustmentRule,
    ::testing::Combine(
        ::testing::Values(QChar('.'), QChar(',')),
        ::testing::Values(AdjustCase{"12.345", "12.34", true, true, 1234},
                          AdjustCase{"1234567", "123456", true, false, 0},
                          AdjustCase{"123456", "123456", false, false, 0},
                          AdjustCase{"200", "200", false, true, 20000},
                          AdjustCase{"200.01", "200.01", false, false, 0},
                          AdjustCase{"0.29", "0.29", false, true, 29},
                          AdjustCase{".5", ".5", false, true, 50},
                          AdjustCase{".", ".", false, false, 0},
                          AdjustCase{"", "", false, false, 0},
                          AdjustCase{"-1", "-1", false, false, 0},
                          AdjustCase{"1e2", "1e2", false, false, 0},
                          AdjustCase{"1.2.3", "1.2.", true, false, 0})));

TEST(RemoteConversions, AdjustmentPulsesTruncateAndStayIn32Bits)
{
    struct Case
    {
        int64_t hundredths;
        float factor;
        std::optional<int32_t> pulses;
    };
    const Case cases[] = {
        {125, 2.5f, 3},          {-125, 2.5f, -3},         {29, 100.0f, 29},
        {20000, 2e7f, std::nullopt}, {100, 0.0f, 0},       {1, 1e30f, std::nullopt},
        {20000, 10e6f, 2000000000},
    };
    for (const Case &c : cases)
        EXPECT_EQ(adjustmentPulses(c.hundredths, c.factor), c.pulses)
            << c.hundredths << " x " << c.factor;
}

TEST(RemoteConversions, AxisBoundsZoomedAndOverPresets)
{
    RemoteSettings settings;
    settings.PulsesPerMicrometre = 2.5f;
    settings.PresetMin = 1000;
    settings.PresetMax = 5000;
    settings.PresetMargin = 200;
    const auto whole = micrometreAxis(false, 0, 1, settings);
    ASSERT_TRUE(whole);
    EXPECT_DOUBLE_EQ(whole->minimum, 320.0);
    EXPECT_DOUBLE_EQ(whole->maximum, 2080.0);
    const auto zoomed = micrometreAxis(true, 1000, 1, settings);
    ASSERT_TRUE(zoomed);
    EXPECT_DOUBLE_EQ(zoomed->minimum, 398.9);
    EXPECT_DOUBLE_EQ(zoomed->maximum, 401.1);
    settings.PresetMin = Min32;
    settings.PresetMargin = 214748364;
    EXPECT_LT(micrometreAxis(false, 0, 1, settings)->minimum, -2147483648.0 / 2.5);
    settings.PulsesPerMicrometre = 0;
    EXPECT_FALSE(micrometreAxis(true, 1000, 1, settings));
    EXPECT_EQ(remotePositionText(1000, 0), QStringLiteral("-"));
}

TEST(RemoteLogCapture, SamplesUntilFullThenStops)
{
    RemoteLog log(3);
    EXPECT_EQ(log.add(1, 2, 1, QStringLiteral("532"), 0), RemoteLog::Capture::Ignored);
    log.start();
    EXPECT_EQ(log.add(25, 50, 2.5f, QStringLiteral("532"), 10), RemoteLog::Capture::Added);
    EXPECT_EQ(log.add(25, 50, 0, QStringLiteral("532"), 1LL << 40), RemoteLog::Capture::Added);
    EXPECT_EQ(log.add(25, 50, 2.5f, QString(), 30), RemoteLog::Capture::Full);
    EXPECT_FALSE(log.logging());
    ASSERT_EQ(log.samples().size(), 3u);
    EXPECT_FLOAT_EQ(log.samples()[0].ConsignMicrometres, 20.0f);
    EXPECT_TRUE(std::isnan(log.samples()[1].PositionMicrometres));
    EXPECT_EQ(log.samples()[1].ElapsedMs, 2147483647);
    log.start();
    EXPECT_TRUE(log.samples().empty());
}

TEST(RemoteLogCsv, HeaderSamplesAndQuoting)
{
    const QDateTime when(QDate(2026, 12, 8), QTime(17, 5, 9));
    const QByteArray head =
        "\xEF\xBB\xBF"
        "Logfile from Tarvine KRV - Remote\r\n\r\n"
        "File export date and time : 08-Dec-2026 - 17:05:09\r\n\r\n"
        "Pulses to [um] factor : 2%1500\r\n\r\n"
        "Elapsed time [ms];Position [pulses];Position [um];Consign [pulses];Consign[um];"
        "WaveLength consign [nm]\r\n";
    const QLocale english(QLocale::English, QLocale::UnitedKingdom);
    EXPECT_EQ(remoteLogCsv({}, 2.5f, when, english), QByteArray(head).replace("%1", "."));

    RemoteLog log;
    log.start();
    log.add(1001, -250, 2.5f, QStringLiteral("532"), 40);
    log.add(1001, -250, 0, QStringLiteral("5\"3;2"), 80);
    const QLocale german(QLocale::German, QLocale::Germany);
    const QByteArray csv = remoteLogCsv(log.samples(), 2.5f, when, german);
    EXPECT_TRUE(csv.endsWith("-2026 - 17:05:09\r\n\r\nPulses to [um] factor : 2,500\r\n\r\n"
                             "Elapsed time [ms];Position [pulses];Position [um];Consign [pulses];"
                             "Consign[um];WaveLength consign [nm]\r\n"
                             "40;1001;400,4;-250;-100,0;532\r\n"
                             "80;1001;;-250;;\"5\"\"3;2\"\r\n"))
        << csv.toStdString();
}

TEST(RemoteLogExportFile, NameLockedTargetAndFailedWrite)
{
    EXPECT_EQ(remoteLogExportName(QStringLiteral("log.CSV")), QStringLiteral("log.CSV.csv"));
    EXPECT_EQ(remoteLogExportName(QStringLiteral("log.csv")), QStringLiteral("log.csv"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.csv"));
    EXPECT_EQ(exportRemoteLog(path, "old").outcome, RemoteLogExport::Written);
    EXPECT_EQ(exportRemoteLog(path, "older").outcome, RemoteLogExport::Written);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadUser);
    const RemoteLogExport locked = exportRemoteLog(path, "new");
    EXPECT_EQ(locked.outcome, RemoteLogExport::Locked);
    EXPECT_EQ(locked.message,
              QStringLiteral("Le fichier est déjà ouvert dans une autre application."));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("older"));
    const QString missing = dir.filePath(QStringLiteral("missing/log.csv"));
    const RemoteLogExport failed = exportRemoteLog(missing, "new");
    EXPECT_EQ(failed.outcome, RemoteLogExport::Failed);
    EXPECT_TRUE(failed.message.contains(QStringLiteral("log.csv")));
}

} // namespace

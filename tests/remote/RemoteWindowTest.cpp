// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The wavelength remote on the virtual controller (in-process, loopback):
// what its controls put on the wire, the axis of the micrometre chart and
// the log export, with settings and export files in a temporary folder.
#include "integration/SimFixture.h"
#include "support/Bytes.h"
#include "ui/MessageBoxRecorder.h"
#include "ui/BuiltInVirtual.h"
#include "ui/UiTestSupport.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCIPMotor.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "remote/RemoteLog.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/main/GraphsPanel.h"
#include "ui/remote/TFormKRVRemote.h"
#include "ui/widgets/LiveChart.h"
#include "ui/widgets/VirtualController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

using uitest::child;
using uitest::local;
using uitest::waitFor;

namespace {

class RemoteWindow : public ::testing::Test
{
protected:
    MessageBoxRecorder boxes;
    AppWindows windows;
    TFormMain &main = windows.main();
    TFormKRVRemote &remote = windows.krvRemote();
    testsupport::WireRecorder wire;
    uitest::BuiltInVirtual virtualController{windows};
    QTemporaryDir dir;

    void SetUp() override
    {
        QFile file(dir.filePath(QStringLiteral("KRVRemote.ini")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[File Header]\r\nFile version=1\r\n"
                                  "Conversion pulses vers micromètres=2.5\r\n"
                                  "[Préréglage 0]\r\nLongueur d'onde=532\r\nPosition=1000\r\n"
                                  "[Préréglage 1]\r\nLongueur d'onde=633\r\nPosition=5000\r\n"
                                  "[Préréglage 2]\r\nLongueur d'onde=785\r\nPosition=3000\r\n")
                       .toUtf8());
        file.close();
        remote.setSettingsPath(file.fileName());
    }
    void connectTo() { ASSERT_TRUE(virtualController.connect(&wire)); }
    void TearDown() override { virtualController.close(); }
    /// The values written to \a address so far, as hex, in wire order.
    std::vector<std::string> writesOf(int address) const
    {
        std::vector<std::string> values;
        for (const SimWireEvent &e : wire.requests()) {
            if (e.function != 0x22)
                continue;
            for (size_t i = 0; i < e.payload.size();) {
                const int size = QLMCIPMotor::RegisterSize(e.payload[i]);
                if (e.payload[i] == address)
                    values.push_back(testsupport::hexText(std::vector<uint8_t>(
                        e.payload.begin() + long(i), e.payload.begin() + long(i) + 1 + size)));
                i += 1 + size_t(size);
            }
        }
        return values;
    }
    bool written(int address, const std::string &entry)
    {
        return waitFor(
            [&] {
                const auto values = writesOf(address);
                return !values.empty() && values.back() == entry;
            },
            3000);
    }
    bool positionNear(int32_t target, int timeoutMs = 15000)
    {
        return waitFor(
            [&] {
                RegisterLockGuard guard(main.context().session().lock());
                return std::abs(main.context().session().motor().LastPosition - target) < 20;
            },
            timeoutMs);
    }
    void click(const char *name) { child<QPushButton>(remote, name)->click(); }
    QCPRange axis()
    {
        return main.findChild<GraphsPanel *>()->chart(GraphsPanel::MicrometrePage)->valueRange();
    }
};

TEST_F(RemoteWindow, ShowWritesTheFirstPresetAndGoReachesIt)
{
    connectTo();
    remote.show();
    EXPECT_TRUE(written(0x4C, "4C 00 00 03 E8"));
    EXPECT_EQ(child<QLabel>(remote, "LKRVPulseToUmFactVal")->text(),
              local(QStringLiteral("2.500")));
    EXPECT_EQ(child<QLabel>(remote, "LKRVRemoteVersion")->text(), QStringLiteral("1.01"));
    EXPECT_EQ(child<QComboBox>(remote, "CBKRVRemoteWavelength")->count(), 3);
    EXPECT_EQ(main.context().pulsesPerMicrometre(), 2.5f);
    EXPECT_TRUE(main.findChild<GraphsPanel *>()->isPageVisible(GraphsPanel::MicrometrePage));
    // Unzoomed: presets 1000 .. 5000 with their 5 % margin, in micrometres.
    EXPECT_DOUBLE_EQ(axis().lower, 800 / 2.5);
    EXPECT_DOUBLE_EQ(axis().upper, 5200 / 2.5);

    click("BKRVRemoteDrive");
    EXPECT_TRUE(written(0x20, "20 05"));
    click("BKRVRemoteWaveLengthGo");
    EXPECT_TRUE(written(0x21, "21 00 00 03 E8"));
    EXPECT_EQ(remote.currentWaveLength(), QStringLiteral("532"));
    EXPECT_TRUE(positionNear(1000));
    EXPECT_TRUE(waitFor(
        [&] {
            return child<QLabel>(remote, "LKRVRemotePositionVal")->text()
                   == remotePositionText(main.displayedValues().Position, 2.5f);
        },
        2000));

    // Zoomed around the position (1000 pulses = 400 um): 1 um + 0.1 each side.
    child<QCheckBox>(remote, "CBKRVGraphPosumZoom")->setChecked(true);
    const double centre = main.context().session().motor().LastPosition / 2.5;
    EXPECT_NEAR(axis().lower, centre - 1.1, 1e-9);
    EXPECT_NEAR(axis().upper, centre + 1.1, 1e-9);
    click("BKRVZoomDown");
    EXPECT_EQ(child<QLabel>(remote, "LKRVZoomOffset")->text(), QStringLiteral("1 [um]"));
    click("BKRVZoomUp");
    EXPECT_NEAR(axis().upper, centre + 2.1, 1e-9);
    EXPECT_EQ(remote.zoomMicrometres(), 2);
    if (const char *folder = std::getenv("TARVINE_REMOTE_SCREENSHOTS"))
        remote.grab().save(QString::fromLocal8Bit(folder)
                           + QStringLiteral("/krv-remote-window.png"));
    // The scripted choice of a preset: past the end picks the last one.
    remote.selectWavelength(7);
    EXPECT_EQ(child<QComboBox>(remote, "CBKRVRemoteWavelength")->currentIndex(), 2);
}

TEST_F(RemoteWindow, HomeGoAdjustmentAndModes)
{
    connectTo();
    remote.show();
    auto *presets = child<QComboBox>(remote, "CBKRVRemoteWavelength");
    presets->setCurrentIndex(2);
    EXPECT_TRUE(written(0x4C, "4C 00 00 0B B8"));
    // A homing type that goes on to the homing input once home is found.
    {
        RegisterLockGuard guard(main.context().session().lock());
        main.context().session().motor().RequestWrite(0x48, 0x00BBBB01);
    }
    EXPECT_TRUE(written(0x48, "48 00 BB BB 01"));
    click("BKRVRemoteWaveLengthGoHome");
    EXPECT_TRUE(waitFor([&] { return !writesOf(0x49).empty(); }, 3000));
    EXPECT_TRUE(positionNear(3000));
    child<QCheckBox>(remote, "CBActiveHomeGoBtn")->setChecked(false);
    EXPECT_FALSE(child<QPushButton>(remote, "BKRVRemoteWaveLengthGoHome")->isEnabled());

    // The offset at F 2.5: trunc(+-1.25 x 2.5).
    auto *adjust = child<QLineEdit>(remote, "EKRVRemoteAdjust");
    adjust->setText(local(QStringLiteral("1.25")));
    click("BKRVRemoteAdjustPlus");
    EXPECT_TRUE(written(0x22, "22 00 00 00 03"));
    click("BKRVRemoteAdjustMinus");
    EXPECT_TRUE(written(0x22, "22 FF FF FF FD"));
    adjust->setText(local(QStringLiteral("12.345")));
    EXPECT_EQ(adjust->text(), local(QStringLiteral("12.34")));
    adjust->setText(QStringLiteral("1234567"));
    EXPECT_EQ(adjust->text(), QStringLiteral("123456"));
    EXPECT_FALSE(child<QPushButton>(remote, "BKRVRemoteAdjustPlus")->isEnabled());

    // Each mode button writes its mode once; a ticked mode writes nothing; hiding stops.
    const std::pair<const char *, const char *> modes[] = {
        {"BKRVRemoteManual", "20 01"}, {"BKRVRemoteStop", "20 00"}, {"BKRVRemoteDrive", "20 05"}};
    for (const auto &[button, entry] : modes) {
        click(button);
        EXPECT_TRUE(written(0x20, entry)) << button;
    }
    const size_t before = writesOf(0x20).size();
    click("BKRVRemoteDrive");
    QTest::qWait(200);
    EXPECT_EQ(writesOf(0x20).size(), before);
    remote.hide();
    EXPECT_TRUE(written(0x20, "20 00"));
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(RemoteWindow, LogCapturesChartSamplesAndExports)
{
    connectTo();
    if (!main.graphicCheckBox()->isChecked())
        main.graphicCheckBox()->click();
    remote.show();
    click("BKRVStartLogFile");
    EXPECT_TRUE(waitFor([&] { return remote.log().samples().size() >= 3; }, 5000));
    click("BKRVStopLogFile");
    auto *exportButton = child<QPushButton>(remote, "BKRVExportLogFile");
    EXPECT_TRUE(exportButton->isEnabled());

    const QString chosen = dir.filePath(QStringLiteral("log.CSV"));
    remote.setExportNameChooser([&](QWidget *, const QString &filter) {
        EXPECT_EQ(filter, QStringLiteral("csv files (*.csv)"));
        return chosen;
    });
    exportButton->click();
    QFile file(chosen + QStringLiteral(".csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    EXPECT_EQ(lines.size(), qsizetype(7 + remote.log().samples().size() + 1));
    EXPECT_EQ(lines.value(7).count(';'), 5);
    file.close();

    QFile::setPermissions(file.fileName(), QFileDevice::ReadOwner);
    exportButton->click();
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(boxes.boxes()[0].text,
              QStringLiteral("Le fichier est déjà ouvert dans une autre application."));
}

} // namespace

namespace {

TEST_F(RemoteWindow, SettingsFileItCannotDecodeShowsItsBox)
{
    // UTF-16BE without its mark (as iconv writes it): no preset, and a box says why.
    const QString text = QStringLiteral("[File Header]\r\nFile version=1\r\n"
                                        "[Préréglage 0]\r\nPosition=1000\r\n");
    QByteArray bytes;
    for (QChar c : text)
        bytes.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    QFile file(dir.filePath(QStringLiteral("KRVRemote.ini")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    remote.show();
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].title, QStringLiteral("Erreur"));
    EXPECT_EQ(boxes.boxes()[0].text, remoteSettingsMessageText(RemoteSettingsMessage::Undecodable));
    EXPECT_EQ(child<QComboBox>(remote, "CBKRVRemoteWavelength")->count(), 0);
    remote.close();
}

} // namespace

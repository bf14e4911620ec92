// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The fixtures of the main-panel tests: the windows with the controls switched
// as if connected (ModesTest), and connected to a virtual controller whose wire
// is recorded (ModesWireTest).
#include "AppWindowsFixture.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "panel/ConsignModel.h"
#include "panel/TThreadInputTimer.h"
#include "platform/RecordingCommandRunner.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/files/TFormFile.h"
#include "ui/files/TFormTime.h"
#include "ui/main/RegulationModePanel.h"
#include "ui/widgets/ConnectedControls.h"
#include "ui/widgets/EditColour.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QThreadPool>

#include <cmath>
#include <memory>

using uitest::child;
using uitest::waitFor;

class ModesTest : public AppWindowsFixture
{
protected:
    QList<int> redTitles{-1};
    std::optional<AxisSetting> fixedAxis;
    int automaticAxis = 0;
    std::vector<std::tuple<bool, double, double>> axisEnds;

    void SetUp() override
    {
        // Qt is not built for ThreadSanitizer: with a single worker thread, the
        // image work that painting hands to Qt's pool does not look raced between
        // two of its own threads.
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        QObject::connect(&main.context(), &WindowContext::parameterTitlesColoured,
                         [this](const QList<int> &red) { redTitles = red; });
        QObject::connect(&main.context(), &WindowContext::positionAxisRequested,
                         [this](const AxisSetting &setting) { fixedAxis = setting; });
        QObject::connect(&main.context(), &WindowContext::positionAxisAutomatic,
                         [this] { ++automaticAxis; });
        QObject::connect(&main.context(), &WindowContext::positionAxisEndRequested,
                         [this](bool minimum, double value, double micrometres) {
                             axisEnds.emplace_back(minimum, value, micrometres);
                         });
        main.show();
        QApplication::setActiveWindow(&main); // focus changes need an active window
    }

    /// The controls as if a controller were connected (no socket).
    void switchConnected() { main.context().connectedControls().setConnected(true); }

    void enter(const char *edit, const QString &text)
    {
        QLineEdit *line = get<QLineEdit>(edit);
        line->setFocus();
        line->selectAll();
        QTest::keyClicks(line, text);
        QTest::keyClick(line, Qt::Key_Return);
    }

    /// An answer of the controller carrying \a address with the one-byte \a value.
    void answerByte(int address, uint8_t value)
    {
        QLMCIPPacket answer;
        answer.Function = Function::ReadAnswer;
        answer.Length = 2;
        answer.Data[0] = uint8_t(address);
        answer.Data[1] = value;
        session.DataReceived(answer);
        main.runDisplay();
    }

    QString checkedMode()
    {
        for (QRadioButton *button :
             get<QGroupBox>("GBRegulationMode")->findChildren<QRadioButton *>())
            if (button->isChecked())
                return button->objectName();
        return {};
    }
};


class ModesWireTest : public WithVirtualController<ModesTest>
{
protected:
    /// Opens \a comMode to a virtual NETEC-A at 127.0.0.\a host and waits
    /// until it is identified and its first read-back answered.
    void open(int host, int comMode = ComModes::TcpDirect)
    {
        ASSERT_NO_FATAL_FAILURE(startAndOpen(
            host, "NETEC-A", comMode == ComModes::Udp ? "RBPort7010" : "RBPort8010_IP"));
        ASSERT_TRUE(waitFor([this] { return main.windowTitle().contains("NETEC-A"); }));
        ASSERT_TRUE(waitFor([this] { return session.statistics().answersDecoded.load() > 10; }));
    }

    /// The values written to \a address on the wire, oldest first.
    std::vector<int64_t> wireWrites(int address) const
    {
        std::vector<int64_t> values;
        for (const SimWireEvent &request : wire->requests()) {
            if (request.function != Function::Write)
                continue;
            const std::vector<uint8_t> &p = request.payload;
            for (size_t i = 0; i < p.size();) {
                const int at = p[i++];
                const int size = QLMCIPMotor::RegisterSize(at);
                if (i + size_t(size) > p.size())
                    break;
                int64_t value = 0;
                for (int k = 0; k < size; ++k)
                    value = (value << 8) | p[i + size_t(k)];
                if (size == 4)
                    value = int32_t(uint32_t(value));
                if (at == address)
                    values.push_back(value);
                i += size_t(size);
            }
        }
        return values;
    }
    std::vector<int> wireReads() const
    {
        std::vector<int> addresses;
        for (const SimWireEvent &request : wire->requests())
            if (request.function == Function::Read)
                addresses.insert(addresses.end(), request.payload.begin(), request.payload.end());
        return addresses;
    }
};

inline bool containsRun(const std::vector<int64_t> &values, const std::vector<int64_t> &run)
{
    return std::search(values.begin(), values.end(), run.begin(), run.end()) != values.end();
}


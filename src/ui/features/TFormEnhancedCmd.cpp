// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/features/TFormEnhancedCmd.h"

#include "device/DeviceRecords.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "ui/features/EnhancedCmdWidgets.h"
#include "ui/features/EnhancedCommandGroup.h"
#include "ui/features/EnhancedParamGroup.h"
#include "ui/features/LoopsConfigGroup.h"
#include "ui/main/GraphsPanel.h"
#include "ui/widgets/WindowContext.h"

#include "device/RegisterText.h"
#include "ui/connection/TFormParamIP.h"

#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

namespace Codec = EnhancedCommandCodec;
using namespace EnhancedCmdWidgets;
using WindowDisplay = SessionListener::Display;

TFormEnhancedCmd::TFormEnhancedCmd(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormEnhancedCmd"),
                 QStringLiteral("Enhanced cmd / Loops"))
    , m_context(context)
    , m_model(&context.session())
{
    m_command = new EnhancedCommandGroup(m_model, this);
    m_loops = new LoopsConfigGroup(m_model, this);
    m_params = new EnhancedParamGroup(m_model, this);

    m_written = new QGroupBox(QStringLiteral("Values written"), this);
    m_written->setObjectName(QStringLiteral("GBECValuesWritten"));
    m_commandWritten = makeLabel(m_written, "LEnhancedCmdWritten", QString());
    m_loopsWritten = makeLabel(m_written, "LEnhancedRangeConfigWritten", QString());
    m_paramsWritten = makeLabel(m_written, "LEnhancedParamWritten", QString());
    auto *writtenLayout = new QVBoxLayout(m_written);
    for (QLabel *label : {m_commandWritten, m_loopsWritten, m_paramsWritten})
        writtenLayout->addWidget(label);

    auto *legend = makeLabel(this, "LECLegend",
                             QStringLiteral("Enhanced cmd - Regulation mode change [0x20] :\n"
                                            "[P] : Set position trajectory\n"
                                            "[S] : Set speed trajectory\n"
                                            "[-] : No change"));

    auto *right = new QVBoxLayout;
    right->addWidget(m_loops);
    right->addWidget(m_params);
    right->addWidget(m_written);
    right->addWidget(legend);
    right->addStretch(1);
    auto *layout = new QGridLayout(this);
    layout->addWidget(m_command, 0, 0);
    layout->addLayout(right, 0, 1);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);

    connect(m_command, &EnhancedCommandGroup::readRequested, this,
            [this] { requestRead(Reg::EnhancedInput); });
    connect(m_loops, &LoopsConfigGroup::readRequested, this,
            [this] { requestRead(Reg::LoopsConfig); });
    connect(m_params, &EnhancedParamGroup::readRequested, this,
            [this] { requestRead(Reg::EnhancedParams); });
    connect(m_command, &EnhancedCommandGroup::written, this,
            [this](const EnhancedWriteResult &result) {
                renderWritten();
                if (!result.written())
                    return;
                GraphsPanel *graphs = m_context.panels().graphs;
                if (const auto sent = Codec::decodeCommand(result.bytes); sent && graphs)
                    graphs->markCharts(Codec::markerLabel(*sent));
                emit enhancedCommandWritten(
                    QByteArray(reinterpret_cast<const char *>(result.bytes.data()),
                               qsizetype(result.bytes.size())));
            });
    connect(m_command, &EnhancedCommandGroup::copyRequested, this,
            [this] { copyTrace(m_command, Reg::EnhancedInput); });
    connect(m_loops, &LoopsConfigGroup::copyRequested, this,
            [this] { copyTrace(m_loops, Reg::LoopsConfig); });
    connect(m_params, &EnhancedParamGroup::copyRequested, this,
            [this] { copyTrace(m_params, Reg::EnhancedParams); });
    connect(m_loops, &LoopsConfigGroup::written, this, [this] { renderWritten(); });
    connect(m_params, &EnhancedParamGroup::written, this, [this] { renderWritten(); });

    // One-shot display timers, started by the decoder through the bridge.
    const std::pair<QTimer *, void (TFormEnhancedCmd::*)()> timers[] = {
        {&m_timerCommand, &TFormEnhancedCmd::TimerDisplayEnhancedCmdTimer},
        {&m_timerLoops, &TFormEnhancedCmd::TimerDisplayEnhancedRangeConfigTimer},
        {&m_timerParams, &TFormEnhancedCmd::TimerDisplayEnhancedParamTimer},
    };
    for (const auto &[timer, handler] : timers) {
        timer->setSingleShot(true);
        timer->setInterval(10);
        connect(timer, &QTimer::timeout, this, handler);
    }
    m_timerCommand.setObjectName(QStringLiteral("TimerDisplayEnhancedCmd"));
    m_timerLoops.setObjectName(QStringLiteral("TimerDisplayEnhancedRangeConfig"));
    m_timerParams.setObjectName(QStringLiteral("TimerDisplayEnhancedParam"));
    context.sessionBridge().setWindowDisplayTimer(WindowDisplay::EnhancedCmd, &m_timerCommand);
    context.sessionBridge().setWindowDisplayTimer(WindowDisplay::EnhancedRangeConfig,
                                                  &m_timerLoops);
    context.sessionBridge().setWindowDisplayTimer(WindowDisplay::EnhancedParam, &m_timerParams);
    connect(&context, &WindowContext::deviceIdentified, this, &TFormEnhancedCmd::applyProfile);
    // "Absolute value" waits for a model that offers it; Read and Write for the
    // connection and the model's access to each register.
    m_model.setOptionsOffered(true, false);
    context.connectedControls().addHook(this, [this](bool connected) {
        m_model.setConnected(connected);
        renderGroups();
    });

    m_written->hide();
    resize(900, 600);
}

TFormEnhancedCmd::~TFormEnhancedCmd() = default;

void TFormEnhancedCmd::applyProfile(const ModelProfile &profile)
{
    const ModelProfile::EnhancedCommand &e = profile.enhanced;
    m_command->setGoalInPulsesText(e.goalInPulsesText);
    m_loops->applyProfile(e.pulsesLabel, e.totalPulsesLabel);
    m_model.setOptionsOffered(e.peakCurrentEnabled, e.noLoopsOptionEnabled);
    m_model.setParamsGroupEnabled(e.enhancedParamsEnabled);
    m_model.refreshAccess(); // the identification granted it
    renderGroups();
}

void TFormEnhancedCmd::renderGroups()
{
    m_command->render();
    m_loops->render();
    m_params->render();
}

void TFormEnhancedCmd::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    if (event->spontaneous())
        return;
    // As the three Read buttons, in their order.
    requestRead(Reg::EnhancedInput);
    requestRead(Reg::LoopsConfig);
    requestRead(Reg::EnhancedParams);
    m_written->hide();
}

void TFormEnhancedCmd::requestRead(int address)
{
    QLMCSession &session = m_context.session();
    RegisterLockGuard guard(session.lock());
    session.motor().RequestRead(address);
}

void TFormEnhancedCmd::TimerDisplayEnhancedCmdTimer()
{
    m_timerCommand.stop();
    Codec::Command received;
    {
        RegisterLockGuard guard(m_context.session().lock());
        received = Codec::commandOf(m_context.session().EnhancedCmd);
    }
    m_model.displayCommand(received);
    m_command->render();
}

void TFormEnhancedCmd::TimerDisplayEnhancedRangeConfigTimer()
{
    m_timerLoops.stop();
    Codec::Loops received;
    {
        RegisterLockGuard guard(m_context.session().lock());
        received = Codec::loopsOf(m_context.session().EnhancedCmd);
    }
    m_model.displayLoops(received);
    m_loops->render();
}

void TFormEnhancedCmd::TimerDisplayEnhancedParamTimer()
{
    m_timerParams.stop();
    Codec::Params received;
    {
        RegisterLockGuard guard(m_context.session().lock());
        received = Codec::paramsOf(m_context.session().EnhancedCmd);
    }
    m_model.displayParams(received);
    m_params->render();
}

void TFormEnhancedCmd::renderWritten()
{
    const EnhancedCmdControls &c = m_model.controls();
    m_commandWritten->setText(c.commandWritten);
    m_loopsWritten->setText(c.loopsWritten);
    m_paramsWritten->setText(c.paramsWritten);
    setTraceRed(m_command, m_commandWritten, c.commandTracesRed);
    setTraceRed(m_loops, m_loopsWritten, c.loopsTracesRed);
    setTraceRed(m_params, m_paramsWritten, c.paramsTracesRed);
}

void TFormEnhancedCmd::copyTrace(QGroupBox *group, int address)
{
    // Only a valid caption ("--" is an invalid entry) gives a command line.
    const auto bytes = RegisterText::parseTrace(QLatin1Char('[') + Codec::byteList(group->title())
                                                    + QLatin1Char(']'),
                                                QLMCIPMotor::RegisterSize(address));
    if (!bytes)
        return;
    const TFormParamIP *paramIP = m_context.toolWindows().paramIP;
    QGuiApplication::clipboard()->setText(
        Codec::cliWriteLine(address, *bytes, paramIP ? paramIP->ipText() : QString()));
}

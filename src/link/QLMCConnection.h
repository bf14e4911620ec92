// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ModelProfile.h"
#include "device/SessionListener.h"
#include "link/LinkFailure.h"
#include "platform/ThreadHandOver.h"
#include "protocol/PeerAllowance.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QLMCSession;
class QLMCThreadSendPacket;
class RequestEncoder;
class TcpClientSocket;
class TcpPacketTransport;
class UdpClientSocket;
class UdpPacketTransport;

/// The connection to one controller: settings, TCP and UDP clients, the sender
/// thread and the connection state. Opens and closes, identifies the device
/// after every open, and reports what the windows show through its signals.
///
/// Lives on the user-interface thread. It installs itself as the session's
/// listener and forwards every notification to the listener given here, after
/// handling the ones that concern the connection (identification, bus scan).
class QLMCConnection : public QObject, public SessionListener
{
    Q_OBJECT

public:
    static constexpr quint16 DefaultTcpPort = 8010;
    static constexpr quint16 DefaultUdpPort = 7010;

    explicit QLMCConnection(QLMCSession &session, SessionListener *forward = nullptr,
                            QObject *parent = nullptr);
    ~QLMCConnection() override;

    /// Ports used for the TCP modes and for UDP (tests use ephemeral ports).
    void setPorts(quint16 tcpPort, quint16 udpPort);
    quint16 tcpPort() const { return m_tcpPort; }
    quint16 udpPort() const { return m_udpPort; }

    /// Chooses the connection mode (a port radio button): ComMode and port.
    void setComMode(int comMode);
    /// The module address behind the gateway (1..127).
    void setI2CAddress(int address);
    int i2cAddress() const;

    /// Opens the connection to \a ipText in the chosen mode.
    void open(const QString &ipText);
    /// Closes the connection (the auto change is switched off first).
    void close();
    /// The "Close" menu command: polling off, then close.
    void closeFromMenu();
    /// Starts a bus scan of the gateway (the modules then arrive as scanFinished).
    void startBusScan(const QString &ipText);

    /// The polling check box: the sender adds the live reads while it is on.
    void setPollingEnabled(bool enabled);
    /// The ceiling of the sender's answer time-out (3000 ms by default; tests
    /// and the command-line tool use shorter ones). The time-out follows the
    /// link below it (QLMCThreadSendPacket).
    void setAnswerTimeoutMs(int milliseconds);
    /// The floor of the adaptive time-out (20 ms by default; equal to the
    /// ceiling, the time-out stays fixed).
    void setAnswerTimeoutFloorMs(int milliseconds);

    int comMode() const;
    QString ipText() const { return m_ipText; }
    bool isTcpActive() const;
    bool isTcpConnected() const;
    bool isUdpOpen() const;
    /// True while a connection is established (TCP connected or UDP open).
    bool isConnected() const;
    /// True when no granted request is pending in the image and no answer is
    /// awaited, leaving out what the poll asks for anyway: everything asked
    /// for was answered or given up. Settled says nothing of values: a
    /// register given up after its one re-ask, or lost with the link, keeps
    /// its received mark from before. A caller notes
    /// QLMCSession::answerSequence() before its request and, once settled,
    /// takes as answered only the registers received after it
    /// (QLMCRegister::receivedAfter); the rest went unanswered.
    bool isSettled();
    /// The sender thread (for measurements).
    const QLMCThreadSendPacket &sender() const { return *m_sender; }
    /// Why the link of the last open failed: refused, no route, closed by the
    /// controller, reset, a peer that sent more than its answers could hold
    /// (these closed it: LinkFailure::ended), or, while it stays open, a
    /// device that does not answer its identification or a gateway module that
    /// does not acknowledge. None while all is well; cleared at every open and
    /// when the device is identified. A close asked for is no failure.
    const LinkFailure &failure() const { return m_failure; }
    /// The profile of the last identification.
    const ModelProfile &profile() const { return m_profile; }

    /// Runs the identification now from the session's DeviceType and DeviceVersion
    /// (also used by the About window's display test while closed).
    void identify();

    /// True when \a text is four dot-separated decimal fields, each 0..255.
    static bool isValidIpText(const QString &text);

    // SessionListener: notifications from the decoder (any thread).
    void armMainDisplay() override;
    void startWindowDisplay(Display window) override;
    void directValueReceived(DirectValue value) override;
    void limitsReceived() override;
    void identificationReady() override;
    void statusText(int panel, const QString &text) override;
    void graphSample(const ReceivedValues &values, int64_t ticks) override;
    void scanResult(const std::vector<uint8_t> &modules) override;
    void communicationError(CommError kind) override;

signals:
    /// Status bar panel 0..3 text.
    void statusChanged(int panel, const QString &text);
    /// The communication indicator: navy while connected.
    void indicatorChanged(bool connected);
    /// Enable or disable every control that needs a connection.
    void connectedStateChanged(bool connected);
    /// Opening resets the main panel's consign state.
    void consignStateReset();
    /// Closing switches the consign auto change off.
    void autoChangeOffRequested();
    /// The polling check box is to show \a checked (no click behaviour).
    void pollingCheckRequested(bool checked);
    /// The polling check box is to be enabled or disabled (bus scan).
    void pollingEnableRequested(bool enabled);
    /// The graph check box is to show \a checked.
    void graphicCheckRequested(bool checked);
    /// The dotted address is not valid ("Wrong IP address").
    void wrongIpAddress();
    /// The identification ran; windows adapt to \a profile.
    void identified(const ModelProfile &profile);
    /// The model is newer than this tool knows: show the warning.
    void modelWarning(const QString &title, const QString &text);
    /// The device type is refused; the connection was closed.
    void deviceRefused(const QString &title, const QString &text);
    /// A bus scan ended with these list entries ("Mod. 0x10 - 16").
    void scanFinished(const QStringList &entries);
    /// A bus scan ended without an answer (TCP error or disconnect).
    void scanEnded();
    /// failure() changed: set by a failed link, cleared (None) at open and identification.
    void failureChanged(const LinkFailure &failure);

private:
    void onTcpConnected();
    void onTcpDisconnected();
    /// Ends a bus scan that lost its gateway: the scan button, list and polling box come back.
    void endScan();
    void onTcpError(int error);
    void onTcpReadyRead();
    /// A UDP request of connection \a generation brought a flood of datagrams.
    void onUdpOverrun(uint32_t generation);
    /// Counts and logs a peer that sent more than its answers could hold.
    void reportOverrun(const char *function, const QString &what);
    void closeUdp(const QString &status);
    void connectedSteps(bool udp);
    void newGeneration();
    void deviceNotAnswering();
    QString openText() const;
    void setConnectedState(bool connected);
    void showStatus(int panel, const QString &text);
    void setFailure(const LinkFailure &failure);

    QLMCSession &m_session;
    SessionListener *m_forward;
    quint16 m_tcpPort = DefaultTcpPort;
    quint16 m_udpPort = DefaultUdpPort;
    quint16 m_port = DefaultTcpPort;
    QString m_ipText;
    ModelProfile m_profile;
    QTimer m_timerDisplay; ///< 10 ms after Type and Version: identification
    /// Generation of the last identification: once per open.
    uint32_t m_identifiedGeneration = 0xFFFFFFFF;
    bool m_notAnsweringShown = false; ///< panel 0 says the device is not answering yet
    /// Bytes of the TCP connection against what the answers could hold.
    StreamAllowance m_streamAllowance;
    LinkFailure m_failure;
    bool m_closeAsked = false; ///< the TCP disconnect now coming was asked for
    /// Notifications from the sender thread reach the user-interface thread here.
    ThreadHandOver m_handOver;

    std::unique_ptr<TcpClientSocket> m_tcp;
    std::unique_ptr<UdpClientSocket> m_udp;
    std::unique_ptr<TcpPacketTransport> m_tcpTransport;
    std::unique_ptr<UdpPacketTransport> m_udpTransport;
    std::unique_ptr<RequestEncoder> m_encoder;
    std::unique_ptr<QLMCThreadSendPacket> m_sender;
};

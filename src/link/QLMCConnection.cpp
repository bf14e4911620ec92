// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/QLMCConnection.h"

#include "base/Diagnostics.h"
#include "device/DeviceNetworkSettings.h"

#include "device/QLMCSession.h"
#include "link/QLMCThreadSendPacket.h"
#include "link/RequestEncoder.h"
#include "link/SocketTransports.h"
#include "platform/TcpClientSocket.h"
#include "platform/UdpClientSocket.h"

#include <QStringList>

#include <cerrno>

QLMCConnection::QLMCConnection(QLMCSession &session, SessionListener *forward, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_forward(forward)
    , m_tcp(std::make_unique<TcpClientSocket>())
    , m_udp(std::make_unique<UdpClientSocket>())
{
    m_tcpTransport = std::make_unique<TcpPacketTransport>(*m_tcp);
    m_udpTransport = std::make_unique<UdpPacketTransport>(*m_udp);
    m_encoder = std::make_unique<RequestEncoder>(session.connection(), session.statistics(),
                                                 session.assembler());
    m_sender = std::make_unique<QLMCThreadSendPacket>(session, *m_encoder, *m_tcpTransport,
                                                      *m_udpTransport);
    session.setAnswerEvent(&m_sender->answerEvent());
    session.setListener(this);
    m_sender->setUnansweredIdentificationHandler(
        [this] { m_handOver.post([this] { deviceNotAnswering(); }); });
    m_sender->setInputOverrunHandler([this](uint32_t generation) {
        m_handOver.post([this, generation] { onUdpOverrun(generation); });
    });
    // A peer streaming bytes gets a bounded share of this thread and memory.
    m_tcp->setReceiveLimits(PeerBounds::ReadPerEvent, PeerBounds::PendingBytes);

    connect(m_tcp.get(), &TcpClientSocket::connected, this, &QLMCConnection::onTcpConnected);
    connect(m_tcp.get(), &TcpClientSocket::disconnected, this, &QLMCConnection::onTcpDisconnected);
    connect(m_tcp.get(), &TcpClientSocket::errorOccurred, this, &QLMCConnection::onTcpError);
    connect(m_tcp.get(), &TcpClientSocket::readyRead, this, &QLMCConnection::onTcpReadyRead);

    m_timerDisplay.setInterval(10);
    m_timerDisplay.setSingleShot(true);
    connect(&m_timerDisplay, &QTimer::timeout, this, &QLMCConnection::identify);

    m_sender->start();
}

QLMCConnection::~QLMCConnection()
{
    // The sender thread ends first, then the clients it sends on.
    m_sender->terminate();
    m_session.setAnswerEvent(nullptr);
    m_session.setListener(m_forward);
    m_tcp->disconnect(this);
    m_sender.reset();
    m_tcp.reset();
    m_udp.reset();
}

void QLMCConnection::setPorts(quint16 tcpPort, quint16 udpPort)
{
    m_tcpPort = tcpPort;
    m_udpPort = udpPort;
    m_port = comMode() == ComModes::Udp ? udpPort : tcpPort;
}

void QLMCConnection::setComMode(int comMode)
{
    m_session.connection().ComMode = comMode;
    m_port = comMode == ComModes::Udp ? m_udpPort : m_tcpPort;
}

void QLMCConnection::setI2CAddress(int address)
{
    m_session.connection().I2CAddress = address;
}

int QLMCConnection::i2cAddress() const
{
    return m_session.connection().I2CAddress.load();
}

int QLMCConnection::comMode() const
{
    return m_session.connection().ComMode.load();
}

bool QLMCConnection::isTcpActive() const
{
    return m_tcp->isActive();
}

bool QLMCConnection::isTcpConnected() const
{
    return m_tcp->isConnected();
}

bool QLMCConnection::isUdpOpen() const
{
    return m_udp->isOpen();
}

bool QLMCConnection::isConnected() const
{
    const int mode = comMode();
    if (mode == ComModes::Udp)
        return m_udp->isOpen();
    return (mode == ComModes::TcpDirect || mode == ComModes::TcpGateway) && m_tcp->isConnected();
}

bool QLMCConnection::isSettled()
{
    // The sender clears the flags of a packet and marks its answer as awaited
    // in one hold of the lock, and re-asks lost registers before it clears
    // the mark: nothing slips between the two checks.
    // What the poll asks for anyway does not count.
    RegisterLockGuard guard(m_session.lock());
    for (const QLMCRegister &reg : m_session.motor().registers())
        if ((reg.ReadRequest && reg.Readable && !m_sender->isPolled(reg.Address))
            || (reg.WriteRequest && reg.Writable))
            return false;
    return !m_sender->awaitingAnswer() || m_sender->inFlightOnlyPolled();
}

bool QLMCConnection::isValidIpText(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char('.'));
    if (fields.size() != 4)
        return false;
    for (const QString &field : fields) {
        if (field.isEmpty() || field.size() > 3)
            return false;
        for (QChar c : field)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        if (field.toInt() > 255)
            return false;
    }
    return true;
}

void QLMCConnection::showStatus(int panel, const QString &text)
{
    emit statusChanged(panel, text);
}

void QLMCConnection::setFailure(const LinkFailure &failure)
{
    // Of the causes that end a link, the first is the one: the socket error
    // that follows an overrun's abort, or the disconnect after an error,
    // does not replace it.
    if (m_failure.ended && !(failure.kind == LinkFailure::Kind::None))
        return;
    if (failure == m_failure)
        return;
    m_failure = failure;
    emit failureChanged(m_failure);
}

void QLMCConnection::setConnectedState(bool connected)
{
    emit connectedStateChanged(connected);
}

void QLMCConnection::setPollingEnabled(bool enabled)
{
    m_session.PollingEnabled = enabled;
}

void QLMCConnection::setAnswerTimeoutMs(int milliseconds)
{
    m_sender->setAnswerTimeoutMs(milliseconds);
}

void QLMCConnection::setAnswerTimeoutFloorMs(int milliseconds)
{
    m_sender->setAnswerTimeoutFloorMs(milliseconds);
}

void QLMCConnection::newGeneration()
{
    {
        // Under the lock, so that a decoder walking an answer sees either the
        // old generation (and finishes first) or the new one (and drops it).
        RegisterLockGuard guard(m_session.lock());
        ConnectionState &state = m_session.connection();
        uint32_t next = state.Generation.load() + 1;
        if (next == AnswerAssembler::CurrentGeneration)
            next = 0;
        state.Generation = next;
    }
    // No identification of the old connection's answers; any wait of the
    // sender for one of them ends now.
    m_timerDisplay.stop();
    m_sender->answerEvent().set();
}

QString QLMCConnection::openText() const
{
    return comMode() == ComModes::Udp ? QStringLiteral("UDP open") : QStringLiteral("TCP open");
}

void QLMCConnection::deviceNotAnswering()
{
    if (m_session.Identified.load() || !isConnected())
        return;
    // Short enough for the connection panel; the log has the whole story.
    showStatus(0, comMode() == ComModes::Udp ? QStringLiteral("UDP no answer")
                                             : QStringLiteral("TCP no answer"));
    if (!m_failure)
        setFailure(LinkFailure::notAnswering(comMode() == ComModes::Udp));
    if (!m_notAnsweringShown)
        LOG_INFO("QLMCConnection", "QLMCConnection::deviceNotAnswering",
                 QStringLiteral("The device at %1 is not answering yet: Type and Version are "
                                "asked again until it does")
                     .arg(m_ipText));
    m_notAnsweringShown = true;
}

void QLMCConnection::open(const QString &ipText)
{
    emit consignStateReset();
    newGeneration();
    m_session.Identified = false;
    m_notAnsweringShown = false;
    setFailure({});
    m_session.replaceMotor();
    if (!isValidIpText(ipText)) {
        emit wrongIpAddress();
        return;
    }
    m_ipText = ipText;
    const int mode = comMode();
    m_session.setDeviceLabel(mode == ComModes::TcpGateway
                                 ? ipText + QStringLiteral(" module ") + QString::number(i2cAddress())
                                 : ipText);
    if (mode == ComModes::TcpDirect || mode == ComModes::TcpGateway) {
        if (m_tcp->isActive())
            return;
        showStatus(0, QStringLiteral("Opening..."));
        m_tcp->open(m_ipText, m_tcpPort);
    } else if (mode == ComModes::Udp) {
        showStatus(0, QStringLiteral("Opening..."));
        m_udp->setPeer(m_ipText, m_udpPort);
        connectedSteps(true);
    }
}

void QLMCConnection::onTcpConnected()
{
    connectedSteps(false);
}

void QLMCConnection::connectedSteps(bool udp)
{
    ConnectionState &state = m_session.connection();
    setConnectedState(true);
    m_session.clearCommErrors();
    state.GatewayWriteItems = 0;
    showStatus(3, QStringLiteral("Com error : 0"));
    // Nothing of an earlier connection is shown, over TCP or UDP.
    m_session.statistics().clearCounters();
    m_session.statistics().clearShownCounters();
    m_streamAllowance.reset();

    showStatus(0, udp ? QStringLiteral("UDP open") : QStringLiteral("TCP open"));
    showStatus(1, m_ipText);
    if (!udp && comMode() == ComModes::TcpGateway) {
        const int address = state.I2CAddress.load();
        showStatus(
            2, QStringLiteral("I2C 0x%1 - %2")
                   .arg(QString::number(address, 16).rightJustified(2, QLatin1Char('0')).toUpper())
                   .arg(address));
    } else {
        showStatus(2, QStringLiteral("-"));
    }
    emit indicatorChanged(true);

    m_session.assembler().reset();
    m_session.motor().ClearReadRequests();

    if (!udp && state.ScanningI2C.load()) {
        // No polling during a bus scan: the sender sends the scan request.
        state.SendScanRequest = true;
        return;
    }
    m_session.PollingEnabled = true;
    emit pollingCheckRequested(true);
    m_session.GraphicEnabled = true;
    emit graphicCheckRequested(true);
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestRead(Reg::Type);
    m_session.motor().RequestRead(Reg::Version);
}

void QLMCConnection::close()
{
    emit autoChangeOffRequested();
    newGeneration();
    const int mode = comMode();
    if ((mode == ComModes::TcpDirect || mode == ComModes::TcpGateway) && m_tcp->isActive()) {
        showStatus(0, QStringLiteral("Closing..."));
        // The disconnect event does the rest, from inside close().
        m_closeAsked = true;
        m_tcp->close();
        m_closeAsked = false;
    } else if (mode == ComModes::Udp) {
        closeUdp(QStringLiteral("UDP closed"));
    }
}

void QLMCConnection::closeUdp(const QString &status)
{
    m_udp->setPeer(QString(), 0);
    m_session.connection().ComMode = ComModes::Closed;
    setConnectedState(false);
    showStatus(0, status);
    emit indicatorChanged(false);
}

void QLMCConnection::closeFromMenu()
{
    m_session.PollingEnabled = false;
    emit pollingCheckRequested(false);
    close();
}

void QLMCConnection::onTcpDisconnected()
{
    if (!m_closeAsked)
        setFailure(LinkFailure::closedByPeer());
    newGeneration();
    m_session.connection().ComMode = ComModes::Closed;
    endScan();
    setConnectedState(false);
    showStatus(0, QStringLiteral("TCP closed"));
    emit indicatorChanged(false);
}

void QLMCConnection::onTcpError(int error)
{
    // The error is handled here; nothing reaches the user as an exception.
    if (m_tcp->isConnected())
        return;
    newGeneration();
    m_session.connection().ComMode = ComModes::Closed;
    // A scan whose gateway is gone ends here, or the next open would skip
    // polling and identification.
    endScan();
    setConnectedState(false);
    setFailure(LinkFailure::fromSocketError(error));
    showStatus(0, m_failure.panelText()); // "TCP Error"
    if (m_tcp->isActive()) {
        m_closeAsked = true;
        m_tcp->close();
        m_closeAsked = false;
    }
}

void QLMCConnection::onTcpReadyRead()
{
    const QByteArray bytes = m_tcp->readAll();
    if (bytes.isEmpty())
        return;
    CommStatistics &statistics = m_session.statistics();
    statistics.chunkReceived();
    const int64_t requests = statistics.requestsAnswerable();
    if (!m_streamAllowance.take(size_t(bytes.size()), requests)) {
        // More than the answers to this connection's requests could hold: a
        // peer streaming bytes. The connection ends on the TCP error path.
        setFailure(LinkFailure::inputOverrun(false));
        reportOverrun("QLMCConnection::onTcpReadyRead",
                      QStringLiteral("%1 bytes for %2 requests")
                          .arg(m_streamAllowance.received())
                          .arg(requests));
        m_tcp->abort(EPROTO);
        return;
    }
    m_session.feedAnswerBytes(reinterpret_cast<const uint8_t *>(bytes.constData()),
                              size_t(bytes.size()), m_session.connection().Generation.load(),
                              false);
}

void QLMCConnection::onUdpOverrun(uint32_t generation)
{
    // Once per connection: the first flood closes it, and a report of an
    // earlier connection changes nothing.
    if (comMode() != ComModes::Udp || !m_udp->isOpen()
        || generation != m_session.connection().Generation.load())
        return;
    setFailure(LinkFailure::inputOverrun(true));
    reportOverrun("QLMCConnection::onUdpOverrun",
                  QStringLiteral("more than %1 datagrams or %2 bytes for one request")
                      .arg(PeerBounds::DatagramsPerRequest)
                      .arg(PeerBounds::DatagramBytesPerRequest));
    // The socket goes first, so the sender cannot send on it once its wait ends.
    closeUdp(m_failure.panelText()); // "UDP Error"
    newGeneration();
}

void QLMCConnection::reportOverrun(const char *function, const QString &what)
{
    ++m_session.statistics().inputOverruns;
    LOG_ERROR("QLMCConnection", function,
              QStringLiteral("The device at %1 sent more than its answers could hold (%2): the "
                             "connection is closed")
                  .arg(m_ipText, what));
}

void QLMCConnection::startBusScan(const QString &ipText)
{
    ConnectionState &state = m_session.connection();
    state.ScanningI2C = true;
    m_session.PollingEnabled = false;
    emit pollingCheckRequested(false);
    emit pollingEnableRequested(false);
    if (m_tcp->isActive()) {
        state.SendScanRequest = true;
    } else {
        setComMode(ComModes::TcpGateway);
        open(ipText);
    }
}

void QLMCConnection::endScan()
{
    ConnectionState &state = m_session.connection();
    state.SendScanRequest = false;
    if (!state.ScanningI2C.exchange(false))
        return;
    emit pollingEnableRequested(true);
    emit scanEnded();
}

void QLMCConnection::identify()
{
    m_timerDisplay.stop();
    uint32_t type;
    uint32_t version;
    {
        RegisterLockGuard guard(m_session.lock());
        type = m_session.Device.DeviceType;
        version = m_session.Device.DeviceVersion;
    }
    m_identifiedGeneration = m_session.connection().Generation.load();
    m_session.Identified = true;
    if (!m_failure.ended)
        setFailure({}); // it answers after all
    if (m_notAnsweringShown && isConnected())
        showStatus(0, openText());
    m_notAnsweringShown = false;
    m_profile = identifyDevice(type, version);
    applyRegisterAccess(m_profile, m_session.motor());
    m_session.setProfile(std::make_shared<const ModelProfile>(m_profile));
    if (!m_profile.known) {
        close();
        emit deviceRefused(m_profile.refusalTitle, m_profile.refusalText);
    } else if (m_profile.showWarning) {
        emit modelWarning(m_profile.warningTitle, m_profile.warningText);
    }
    emit identified(m_profile);
    m_session.motor().RequestAllReadable();
}

// Notifications from the decoder: on the sender thread for UDP answers. What
// the connection does with them runs on the user-interface thread.

void QLMCConnection::identificationReady()
{
    m_handOver.post([this] {
        // Once per open, and only for Type and Version of this connection:
        // later answers that carry both (a parameter-file save reads them)
        // only update the values.
        uint32_t answered;
        {
            RegisterLockGuard guard(m_session.lock());
            answered = m_session.Device.TypeVersionGeneration;
        }
        const uint32_t current = m_session.connection().Generation.load();
        if (answered == current && m_identifiedGeneration != current)
            m_timerDisplay.start();
    });
    if (m_forward)
        m_forward->identificationReady();
}

void QLMCConnection::statusText(int panel, const QString &text)
{
    m_handOver.post([this, panel, text] { showStatus(panel, text); });
}

void QLMCConnection::scanResult(const std::vector<uint8_t> &modules)
{
    m_handOver.post([this, modules] {
        ConnectionState &state = m_session.connection();
        if (!state.ScanningI2C.load())
            return; // the session already logged an unasked module list
        QStringList entries;
        for (uint8_t module : modules)
            entries << DeviceNetworkSettings::scanEntryText(module);
        state.ScanningI2C = false;
        state.SendScanRequest = false;
        emit pollingEnableRequested(true);
        if (!modules.empty())
            setI2CAddress(modules.front());
        emit scanFinished(entries);
        closeFromMenu();
    });
    if (m_forward)
        m_forward->scanResult(modules);
}

void QLMCConnection::communicationError(CommError kind)
{
    if (kind == CommError::Acknowledge) {
        const uint32_t generation = m_session.connection().Generation.load();
        m_handOver.post([this, generation] {
            // Before the identification, a module that does not acknowledge
            // is why the device does not answer; afterwards it is one error
            // among others (panel 3 counts it).
            if (generation != m_session.connection().Generation.load()
                || m_session.Identified.load() || comMode() != ComModes::TcpGateway
                || m_failure.ended)
                return;
            setFailure(LinkFailure::noAcknowledge(i2cAddress()));
        });
    }
    if (m_forward)
        m_forward->communicationError(kind);
}

void QLMCConnection::armMainDisplay()
{
    if (m_forward)
        m_forward->armMainDisplay();
}

void QLMCConnection::startWindowDisplay(Display window)
{
    if (m_forward)
        m_forward->startWindowDisplay(window);
}

void QLMCConnection::directValueReceived(DirectValue value)
{
    if (m_forward)
        m_forward->directValueReceived(value);
}

void QLMCConnection::limitsReceived()
{
    if (m_forward)
        m_forward->limitsReceived();
}

void QLMCConnection::graphSample(const ReceivedValues &values, int64_t ticks)
{
    if (m_forward)
        m_forward->graphSample(values, ticks);
}

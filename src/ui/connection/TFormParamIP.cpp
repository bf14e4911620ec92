// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/connection/TFormParamIP.h"

#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "ui/connection/TFormParamIPChangeBoxes.h"
#include "ui/main/RefreshPanel.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

const char *const AddressNames[4] = {"EAdd0", "EAdd1", "EAdd2", "EAdd3"};
const char *const AddressDefaults[4] = {"192", "168", "16", "100"};

} // namespace

TFormParamIP::TFormParamIP(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormParamIP"),
                 QStringLiteral("IP Communication"))
    , m_context(context)
    , m_connection(std::make_unique<QLMCConnection>(context.session(), &context.sessionBridge()))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    layout->addWidget(buildIpBox(), 0, Qt::AlignTop);
    // Both boxes share one place; only the one of the chosen mode is shown.
    auto *change = new QVBoxLayout;
    change->setContentsMargins(0, 0, 0, 0);
    m_comTcp = buildChangeBox("GBComTCP");
    m_comI2C = buildChangeBox("GBComI2C");
    change->addWidget(m_comTcp);
    change->addWidget(m_comI2C);
    change->addStretch(1);
    layout->addLayout(change);

    m_addressI2C = new QSpinBox(m_comI2C);
    m_addressI2C->setObjectName(QStringLiteral("SpinEAddI2C"));
    m_addressI2C->setRange(1, 127);
    m_addressI2C->setValue(m_connection->i2cAddress());
    connect(m_addressI2C, &QSpinBox::valueChanged, this, &TFormParamIP::SpinEAddI2CChange);
    auto *i2cLabel = new QLabel(QStringLiteral("Address I2C"), m_comI2C);
    i2cLabel->setObjectName(QStringLiteral("LAddI2C"));
    comI2CLayout()->addWidget(i2cLabel, 0, 0);
    comI2CLayout()->addWidget(m_addressI2C, 0, 1);
    m_changeBoxes = new ChangeParametersBoxes(*this, context, m_addressI2C);

    showChangeBox();
    wireConnection();
    registerConnectedControls();
    setFixedSize(sizeHint());
}

TFormParamIP::~TFormParamIP()
{
    // The sender thread ends, then the sockets it sends on.
    m_connection.reset();
}

QGroupBox *TFormParamIP::buildIpBox()
{
    auto *box = new QGroupBox(QStringLiteral("IP Communication"), this);
    box->setObjectName(QStringLiteral("GBIPCom"));
    auto *grid = new QGridLayout(box);
    grid->setHorizontalSpacing(6);

    auto *title = new QLabel(QStringLiteral("IP Address :"), box);
    title->setObjectName(QStringLiteral("LIPAddress"));
    grid->addWidget(title, 0, 0, 1, 2);
    auto *fields = new QHBoxLayout;
    fields->setSpacing(2);
    for (int i = 0; i < 4; ++i) {
        m_address[i] = new QLineEdit(QLatin1String(AddressDefaults[i]), box);
        m_address[i]->setObjectName(QLatin1String(AddressNames[i]));
        m_address[i]->setAlignment(Qt::AlignCenter);
        m_address[i]->setFixedWidth(
            m_address[i]->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
        if (i > 0)
            fields->addWidget(new QLabel(QStringLiteral("."), box));
        fields->addWidget(m_address[i]);
    }
    fields->addStretch(1);
    grid->addLayout(fields, 1, 0, 1, 2);

    m_port8010Ip = new QRadioButton(QStringLiteral("8010 - Zelm-NETxx"), box);
    m_port8010Ip->setObjectName(QStringLiteral("RBPort8010_IP"));
    m_port8010Ip->setChecked(true);
    m_port8010I2C = new QRadioButton(QStringLiteral("8010 - Zelm-TCP xx <=> I2C"), box);
    m_port8010I2C->setObjectName(QStringLiteral("RBPort8010_I2C"));
    m_port7010 = new QRadioButton(QStringLiteral("7010 - Zelm-NETxx"), box);
    m_port7010->setObjectName(QStringLiteral("RBPort7010"));
    grid->addWidget(m_port8010Ip, 2, 0, 1, 2);
    grid->addWidget(m_port8010I2C, 3, 0, 1, 2);
    grid->addWidget(m_port7010, 4, 0, 1, 2);
    connect(m_port8010Ip, &QRadioButton::clicked, this,
            [this] { portClicked(ComModes::TcpDirect); });
    connect(m_port8010I2C, &QRadioButton::clicked, this,
            [this] { portClicked(ComModes::TcpGateway); });
    connect(m_port7010, &QRadioButton::clicked, this, [this] { portClicked(ComModes::Udp); });
    for (QRadioButton *radio : {m_port8010Ip, m_port8010I2C, m_port7010})
        connect(radio, &QRadioButton::toggled, this, &TFormParamIP::showChangeBox);

    m_open = new QPushButton(QStringLiteral("Open"), box);
    m_open->setObjectName(QStringLiteral("BOpen"));
    m_close = new QPushButton(QStringLiteral("Close"), box);
    m_close->setObjectName(QStringLiteral("BClose"));
    grid->addWidget(m_open, 5, 0);
    grid->addWidget(m_close, 5, 1);
    connect(m_open, &QPushButton::clicked, this, &TFormParamIP::BOpenClick);
    connect(m_close, &QPushButton::clicked, this, &TFormParamIP::BCloseClick);
    return box;
}

QGroupBox *TFormParamIP::buildChangeBox(const char *name)
{
    auto *box = new QGroupBox(QStringLiteral("Change parameters"), this);
    box->setObjectName(QLatin1String(name));
    box->setMinimumSize(260, 190);
    auto *grid = new QGridLayout(box);
    grid->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    return box;
}

QGridLayout *TFormParamIP::comTcpLayout() const
{
    return static_cast<QGridLayout *>(m_comTcp->layout());
}

QGridLayout *TFormParamIP::comI2CLayout() const
{
    return static_cast<QGridLayout *>(m_comI2C->layout());
}

void TFormParamIP::wireConnection()
{
    QLMCConnection *connection = m_connection.get();
    WindowContext *context = &m_context;
    // The status bar, the indicator and the identification: the main window
    // follows the connection itself (TFormMain::followConnection).
    connect(connection, &QLMCConnection::connectedStateChanged, this,
            [context](bool connected) { context->connectedControls().setConnected(connected); });
    connect(connection, &QLMCConnection::consignStateReset, context,
            &WindowContext::consignStateResetRequested);
    connect(connection, &QLMCConnection::autoChangeOffRequested, context,
            &WindowContext::autoChangeOffRequested);
    if (RefreshPanel *refresh = context->panels().refresh) {
        connect(connection, &QLMCConnection::pollingCheckRequested, refresh->readData(),
                &QCheckBox::setChecked);
        connect(connection, &QLMCConnection::pollingEnableRequested, refresh->readData(),
                &QCheckBox::setEnabled);
        connect(connection, &QLMCConnection::graphicCheckRequested, refresh->graphic(),
                &QCheckBox::setChecked);
    }
    connect(connection, &QLMCConnection::wrongIpAddress, this, [this] {
        MessageBoxes::show(this, QStringLiteral("Error"), QStringLiteral("Wrong IP address"),
                           MessageIcon::Warning);
    });
    connect(connection, &QLMCConnection::modelWarning, this,
            [this](const QString &title, const QString &text) {
                MessageBoxes::show(this, title, text, MessageIcon::Warning);
            });
    connect(connection, &QLMCConnection::deviceRefused, this,
            [this](const QString &title, const QString &text) {
                MessageBoxes::show(this, title, text, MessageIcon::Warning);
            });
}

void TFormParamIP::registerConnectedControls()
{
    ConnectedControls &controls = m_context.connectedControls();
    controls.addWhileClosed(m_port8010Ip);
    controls.addWhileClosed(m_port8010I2C);
    controls.addWhileClosed(m_port7010);
    controls.addWhileClosed(m_open);
    controls.addWhileConnected(m_close);
}

QString TFormParamIP::ipText() const
{
    QStringList fields;
    for (const QLineEdit *field : m_address)
        fields << field->text();
    return fields.join(QLatin1Char('.'));
}

int TFormParamIP::checkedComMode() const
{
    if (m_port8010I2C->isChecked())
        return ComModes::TcpGateway;
    if (m_port7010->isChecked())
        return ComModes::Udp;
    return ComModes::TcpDirect;
}

void TFormParamIP::setTarget(int comMode, const QString &address, int module)
{
    const QStringList fields = address.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < 4 && i < fields.size(); ++i)
        m_address[i]->setText(fields[i]);
    QRadioButton *port = comMode == ComModes::TcpGateway ? m_port8010I2C
                         : comMode == ComModes::Udp      ? m_port7010
                                                         : m_port8010Ip;
    port->setChecked(true);
    m_connection->setComMode(comMode);
    if (module > 0)
        m_addressI2C->setValue(module);
}

void TFormParamIP::BOpenClick()
{
    m_connection->setComMode(checkedComMode());
    m_connection->open(ipText());
    close();
}

void TFormParamIP::BCloseClick()
{
    m_connection->close();
}

void TFormParamIP::resetArp(CommandRunner &runner)
{
    m_changeBoxes->resetArp(runner);
}

void TFormParamIP::portClicked(int comMode)
{
    m_connection->setComMode(comMode);
    showChangeBox();
}

void TFormParamIP::showChangeBox()
{
    const bool gateway = m_port8010I2C->isChecked();
    m_comI2C->setVisible(gateway);
    m_comTcp->setVisible(!gateway);
}

void TFormParamIP::SpinEAddI2CChange(int value)
{
    m_connection->setI2CAddress(value);
}

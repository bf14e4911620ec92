// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/VirtualControllerDialog.h"

#include "protocol/ConnectionState.h"
#include "ui/widgets/EditColour.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int LowestI2CAddress = 1;
constexpr int HighestI2CAddress = 127;

// The preset models named BUS... are modules of an I2C bus behind a gateway.
bool isBusModel(const SimModel &model)
{
    return QString::fromStdString(model.name).startsWith(QLatin1String("BUS"));
}

} // namespace

VirtualControllerDialog::VirtualControllerDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormVirtualController"));
    setWindowTitle(QStringLiteral("Virtual controller"));

    auto *intro = new QLabel(
        QStringLiteral("A simulated controller runs inside this program on a loopback\n"
                       "address (127.0.0.N, ports 8010 and 7010); the connection opens at once."),
        this);

    m_model = new QComboBox(this);
    m_model->setObjectName(QStringLiteral("CBVirtualModel"));
    for (const SimModel &preset : simModelPresets())
        m_model->addItem(QStringLiteral("%1  (type %2.%3)")
                             .arg(QString::fromStdString(preset.name))
                             .arg(preset.typeCode)
                             .arg(preset.subType),
                         QString::fromStdString(preset.name));

    auto *kind = new QGroupBox(QStringLiteral("Connection"), this);
    kind->setObjectName(QStringLiteral("GBVirtualConnection"));
    m_tcp = new QRadioButton(QStringLiteral("TCP, port 8010"), kind);
    m_tcp->setObjectName(QStringLiteral("RBVirtualTcp"));
    m_udp = new QRadioButton(QStringLiteral("UDP, port 7010"), kind);
    m_udp->setObjectName(QStringLiteral("RBVirtualUdp"));
    m_gateway = new QRadioButton(QStringLiteral("Gateway to I2C modules, TCP port 8010"), kind);
    m_gateway->setObjectName(QStringLiteral("RBVirtualGateway"));
    m_tcp->setChecked(true);
    m_modules = new QLineEdit(QStringLiteral("16"), kind);
    m_modules->setObjectName(QStringLiteral("EVirtualModules"));
    m_modules->setToolTip(QStringLiteral("I2C addresses 1..127, separated by commas"));
    auto *kindLayout = new QFormLayout(kind);
    kindLayout->addRow(m_tcp);
    kindLayout->addRow(m_udp);
    kindLayout->addRow(m_gateway);
    kindLayout->addRow(QStringLiteral("Module addresses :"), m_modules);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("BVirtualStart"));
    m_buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Start and connect"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // The outcome of auto-tuning runs, in the order of SimAutoTuneOutcome.
    m_autoTuning = new QComboBox(this);
    m_autoTuning->setObjectName(QStringLiteral("CBVirtualAutoTuning"));
    m_autoTuning->addItems({QStringLiteral("Success (0x00)"),
                            QStringLiteral("Speed measured = 0 (0x14)"),
                            QStringLiteral("Speed = 0, Hall sensors detected (0x24)"),
                            QStringLiteral("Oscillation measured (0x34)"),
                            QStringLiteral("Not defined (0xF4)"),
                            QStringLiteral("Running as 0x13, then success")});

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Model :"), m_model);
    form->addRow(QStringLiteral("Auto-tuning :"), m_autoTuning);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(kind);
    layout->addWidget(m_buttons);

    connect(m_model, &QComboBox::currentIndexChanged, this, &VirtualControllerDialog::modelChanged);
    for (QRadioButton *radio : {m_tcp, m_udp, m_gateway})
        connect(radio, &QRadioButton::toggled, this, &VirtualControllerDialog::updateState);
    connect(m_modules, &QLineEdit::textChanged, this, &VirtualControllerDialog::updateState);
    updateState();
}

void VirtualControllerDialog::modelChanged(int index)
{
    // A module model sits behind a gateway, a network model on the network.
    const std::vector<SimModel> &presets = simModelPresets();
    if (index < 0 || size_t(index) >= presets.size())
        return;
    if (isBusModel(presets[size_t(index)]))
        m_gateway->setChecked(true);
    else if (m_gateway->isChecked())
        m_tcp->setChecked(true);
}

void VirtualControllerDialog::updateState()
{
    const bool gateway = m_gateway->isChecked();
    m_modules->setEnabled(gateway);
    const bool valid = !gateway || parseModules(m_modules->text()).has_value();
    setEditValid(m_modules, valid);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(valid);
}

void VirtualControllerDialog::selectAutoTuning(SimAutoTuneOutcome outcome)
{
    m_autoTuning->setCurrentIndex(int(outcome));
}

std::optional<VirtualControllerChoice> VirtualControllerDialog::choice() const
{
    const std::vector<SimModel> &presets = simModelPresets();
    const int index = m_model->currentIndex();
    if (index < 0 || size_t(index) >= presets.size())
        return std::nullopt;
    VirtualControllerChoice chosen;
    chosen.model = presets[size_t(index)];
    chosen.autoTuning = SimAutoTuneOutcome(std::max(0, m_autoTuning->currentIndex()));
    if (m_gateway->isChecked()) {
        const std::optional<std::vector<int>> modules = parseModules(m_modules->text());
        if (!modules)
            return std::nullopt;
        chosen.comMode = ComModes::TcpGateway;
        chosen.modules = *modules;
    } else {
        chosen.comMode = m_udp->isChecked() ? ComModes::Udp : ComModes::TcpDirect;
    }
    return chosen;
}

bool VirtualControllerDialog::selectModel(const QString &name)
{
    const int index = m_model->findData(name.toUpper());
    if (index < 0)
        return false;
    m_model->setCurrentIndex(index);
    return true;
}

void VirtualControllerDialog::selectComMode(int comMode)
{
    if (comMode == ComModes::TcpGateway)
        m_gateway->setChecked(true);
    else if (comMode == ComModes::Udp)
        m_udp->setChecked(true);
    else
        m_tcp->setChecked(true);
}

void VirtualControllerDialog::setModulesText(const QString &text)
{
    m_modules->setText(text);
}

std::optional<std::vector<int>> VirtualControllerDialog::parseModules(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    const QStringList fields = text.split(separators, Qt::SkipEmptyParts);
    if (fields.isEmpty() || fields.size() > MaxModules)
        return std::nullopt;
    std::vector<int> modules;
    for (const QString &field : fields) {
        bool ok = false;
        const int address = field.toInt(&ok);
        if (!ok || address < LowestI2CAddress || address > HighestI2CAddress
            || std::find(modules.begin(), modules.end(), address) != modules.end())
            return std::nullopt;
        modules.push_back(address);
    }
    return modules;
}

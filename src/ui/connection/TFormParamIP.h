// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/widgets/ToolWindow.h"

#include <memory>

class ChangeParametersBoxes;
class CommandRunner;
class QGridLayout;
class QGroupBox;
class QLineEdit;
class QLMCConnection;
class QPushButton;
class QRadioButton;
class QSpinBox;
class WindowContext;
struct ModelProfile;

/// The connection window "IP Communication": the device address, the port and
/// mode, the I2C address of a gateway module, "Open" and "Close". It owns the
/// connection (sockets and sender thread) and shows its state in the main
/// window's status bar and communication indicator.
///
/// The two "Change parameters" boxes (GBComTCP for a direct device, GBComI2C for
/// a gateway module) are filled by the device network settings through
/// comTcpLayout() and comI2CLayout(); exactly one of them is visible.
class TFormParamIP : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormParamIP(WindowContext &context);
    ~TFormParamIP() override;

    QLMCConnection &connection() { return *m_connection; }

    /// The dotted address of the four fields.
    QString ipText() const;
    /// The mode of the checked port radio button.
    int checkedComMode() const;

    QGroupBox *comTcpBox() const { return m_comTcp; }
    QGroupBox *comI2CBox() const { return m_comI2C; }
    QGridLayout *comTcpLayout() const;
    QGridLayout *comI2CLayout() const;

    /// Fills the window as the user would before "Open": the address fields
    /// from the dotted \a address, the port radio of \a comMode ticked and the
    /// connection set to that mode, and for a gateway module \a module (1..127;
    /// 0 leaves the I2C address as it is).
    void setTarget(int comMode, const QString &address, int module = 0);

    /// "Open": mode from the checked radio, open, then close this window.
    void BOpenClick();
    void BCloseClick();
    /// The main window's "Reset ARP" after its warning: drops the neighbour
    /// entry of the address stored at Open, through \a runner.
    void resetArp(CommandRunner &runner);
    /// The controls of both "Change parameters" boxes.
    ChangeParametersBoxes &changeBoxes() { return *m_changeBoxes; }

private:
    QGroupBox *buildIpBox();
    QGroupBox *buildChangeBox(const char *name);
    void wireConnection();
    void registerConnectedControls();
    void portClicked(int comMode);
    void showChangeBox();
    void SpinEAddI2CChange(int value);

    WindowContext &m_context;
    std::unique_ptr<QLMCConnection> m_connection;
    QLineEdit *m_address[4] = {};
    QRadioButton *m_port8010Ip = nullptr;
    QRadioButton *m_port8010I2C = nullptr;
    QRadioButton *m_port7010 = nullptr;
    QSpinBox *m_addressI2C = nullptr;
    QPushButton *m_open = nullptr;
    QPushButton *m_close = nullptr;
    QGroupBox *m_comTcp = nullptr;
    QGroupBox *m_comI2C = nullptr;
    ChangeParametersBoxes *m_changeBoxes = nullptr;
};

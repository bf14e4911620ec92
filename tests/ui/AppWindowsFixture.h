// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What the window tests share: the register-image probes (a pending write, a
// read request), the application's windows with a message-box recorder, and
// a virtual controller on loopback opened through the connection window with
// its wire recorded.
#include "MessageBoxRecorder.h"
#include "UiTestSupport.h"
#include "integration/SimFixture.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormParamIP.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>

namespace uitest {

/// The pending write of \a address in \a session's image, or nullopt; clears it.
inline std::optional<int64_t> takeWrite(QLMCSession &session, int address)
{
    RegisterLockGuard guard(session.lock());
    QLMCRegister *reg = session.motor().registerAt(address);
    if (!reg->WriteRequest)
        return std::nullopt;
    reg->WriteRequest = false;
    int64_t value = 0;
    for (int i = 0; i < reg->Size; ++i)
        value = (value << 8) | reg->WriteValue[size_t(i)];
    if (reg->Size == 4)
        value = int32_t(uint32_t(value));
    return value;
}

inline bool readRequested(QLMCSession &session, int address)
{
    RegisterLockGuard guard(session.lock());
    return session.motor().registerAt(address)->ReadRequest;
}

inline void clearRequests(QLMCSession &session)
{
    RegisterLockGuard guard(session.lock());
    for (QLMCRegister &reg : session.motor().registers())
        reg.ReadRequest = reg.WriteRequest = false;
}

/// Types 127.0.0.\a host and \a server's ports into the connection window,
/// clicks \a portButton when one is named, then "Open".
inline void openFromParamIP(TFormParamIP &paramIP, const SimServer &server, int host,
                            const char *portButton = nullptr)
{
    paramIP.connection().setPorts(server.tcpPort(), server.udpPort());
    const QStringList fields{"127", "0", "0", QString::number(host)};
    for (int i = 0; i < 4; ++i)
        child<QLineEdit>(paramIP, QStringLiteral("EAdd%1").arg(i).toLatin1().constData())
            ->setText(fields[i]);
    if (portButton)
        child<QRadioButton>(paramIP, portButton)->click();
    paramIP.BOpenClick();
}

} // namespace uitest

/// The application's windows, message boxes recorded, and the main window's session.
class AppWindowsFixture : public ::testing::Test
{
protected:
    MessageBoxRecorder boxes;
    AppWindows windows;
    TFormMain &main = windows.main();
    QLMCSession &session = main.context().session();

    template<typename T>
    T *get(const char *name)
    {
        return uitest::child<T>(main, name);
    }

    std::optional<int64_t> takeWrite(int address) { return uitest::takeWrite(session, address); }
    bool readRequested(int address) { return uitest::readRequested(session, address); }
    void clearRequests() { uitest::clearRequests(session); }
};

/// \a Fixture with a virtual controller on loopback, its wire recorded; the
/// connection is closed and the controller stopped after each test.
template<typename Fixture>
class WithVirtualController : public Fixture
{
protected:
    std::shared_ptr<testsupport::WireRecorder> wire = std::make_shared<testsupport::WireRecorder>();
    std::shared_ptr<SimController> controller;
    std::unique_ptr<SimServer> server;

    void TearDown() override
    {
        TFormParamIP &paramIP = this->windows.paramIP();
        paramIP.connection().closeFromMenu();
        uitest::waitFor([&] { return !paramIP.connection().isTcpActive(); }, 2000);
        if (server)
            server->stop();
    }

    /// Starts a virtual \a model at 127.0.0.\a host and opens it from the
    /// connection window (\a portButton clicked first when named); returns
    /// once "Open" is clicked.
    void startAndOpen(int host, const char *model, const char *portButton = nullptr)
    {
        SimServerConfig config;
        config.bindAddress = "127.0.0." + std::to_string(host);
        controller = std::make_shared<SimController>(*parseSimModel(model), SimIdentity{});
        server = std::make_unique<SimServer>(config, controller);
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        server->setLog(wire->log);
        uitest::openFromParamIP(this->windows.paramIP(), *server, host, portButton);
    }
};

using AppWindowsSimFixture = WithVirtualController<AppWindowsFixture>;

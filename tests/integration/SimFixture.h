// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "sim/SimRequestLog.h"
#include "sim/SimServer.h"
#include "support/RecordingListener.h"
#include "support/WaitFor.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <mutex>

namespace testsupport {

/// Collects the request frames a virtual controller received.
class WireRecorder
{
public:
    std::shared_ptr<SimRequestLog> log = std::make_shared<SimRequestLog>();

    WireRecorder()
    {
        log->setCallback([this](const SimWireEvent &event) {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (event.kind == SimWireEvent::Kind::Request)
                m_requests.push_back(event);
            else if (event.kind == SimWireEvent::Kind::Answer)
                m_answers.push_back(event);
        });
    }
    std::vector<SimWireEvent> requests() const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_requests;
    }
    /// Answers queued for sending (the faults applied are named in the note).
    std::vector<SimWireEvent> answers() const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_answers;
    }
    void clear()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_requests.clear();
        m_answers.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<SimWireEvent> m_requests;
    std::vector<SimWireEvent> m_answers;
};

/// A connection of the tool's core to an in-process virtual controller.
class SimConnection
{
public:
    RecordingListener listener;
    QLMCSession session;
    QLMCConnection connection{session, &listener};
    WireRecorder wire; // outlives the server, whose thread records into it
    std::unique_ptr<SimServer> server;
    std::vector<std::pair<int, QString>> statuses;
    bool identified = false;
    int identifications = 0;
    bool refused = false;
    int warnings = 0;
    bool warned = false;
    QString warning;

    SimConnection()
    {
        QObject::connect(
            &connection, &QLMCConnection::statusChanged,
            [this](int panel, const QString &text) { statuses.emplace_back(panel, text); });
        QObject::connect(&connection, &QLMCConnection::identified, [this](const ModelProfile &) {
            identified = true;
            ++identifications;
        });
        QObject::connect(&connection, &QLMCConnection::deviceRefused,
                         [this](const QString &, const QString &) { refused = true; });
        QObject::connect(&connection, &QLMCConnection::modelWarning,
                         [this](const QString &, const QString &text) {
                             warned = true;
                             ++warnings;
                             warning = text;
                         });
    }
    ~SimConnection()
    {
        if (connection.isConnected())
            connection.closeFromMenu();
        waitFor([this] { return !connection.isTcpActive(); }, 1000);
        if (server)
            server->stop();
    }

    /// Starts a direct controller of \a model on 127.0.0.\a host.
    void startDirect(const std::string &model, int host = 2)
    {
        auto parsed = parseSimModel(model);
        ASSERT_TRUE(parsed) << model;
        SimIdentity identity;
        server = std::make_unique<SimServer>(config(host),
                                             std::make_shared<SimController>(*parsed, identity));
        start();
    }
    /// Starts a gateway with one module of \a model at each of \a modules.
    void startGateway(const std::string &model, std::vector<int> modules, int host = 2)
    {
        auto parsed = parseSimModel(model);
        ASSERT_TRUE(parsed) << model;
        std::map<int, std::shared_ptr<SimController>> map;
        for (int m : modules) {
            SimIdentity identity;
            identity.mac[5] = uint8_t(m);
            map[m] = std::make_shared<SimController>(*parsed, identity);
        }
        server = std::make_unique<SimServer>(config(host), SimGatewayIdentity{}, std::move(map));
        start();
    }
    std::string address() const { return server->address(); }

    /// Opens in \a comMode and waits for the identification.
    bool openAndIdentify(int comMode, int i2c = 16, int timeoutMs = 5000)
    {
        identified = false;
        connection.setComMode(comMode);
        connection.setI2CAddress(i2c);
        connection.open(QString::fromStdString(address()));
        return waitFor([this] { return identified; }, timeoutMs);
    }
    /// Waits until no granted request is pending and every request was answered
    /// or given up.
    bool waitSettled(int timeoutMs = 5000)
    {
        return waitFor([this] { return connection.isSettled(); }, timeoutMs);
    }
    bool sawStatus(int panel, const QString &text) const
    {
        for (const auto &[p, t] : statuses)
            if (p == panel && t == text)
                return true;
        return false;
    }
    QString lastStatus(int panel) const
    {
        for (auto it = statuses.rbegin(); it != statuses.rend(); ++it)
            if (it->first == panel)
                return it->second;
        return {};
    }

private:
    SimServerConfig config(int host) const
    {
        SimServerConfig c;
        c.bindAddress = "127.0.0." + std::to_string(host);
        return c;
    }
    void start()
    {
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        server->setLog(wire.log);
        connection.setPorts(server->tcpPort(), server->udpPort());
    }
};

} // namespace testsupport

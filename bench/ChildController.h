// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A virtual controller in a child process, so that a benchmark's CPU figures
// are the tool's alone. The child ends with the benchmark, whatever happens to it.

#include "sim/SimServer.h"

#include <csignal>
#include <cstdint>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

class ChildController
{
public:
    /// \a fault: a fault text as tarvine-sim takes it ("drop=0.05"), or nullptr.
    ChildController(const char *host, uint16_t port, const char *model = "NETEC-A",
                    const char *fault = nullptr)
    {
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            SimServerConfig config;
            config.bindAddress = host;
            config.tcpPort = port;
            config.udpPort = port;
            SimServer server(config,
                             std::make_shared<SimController>(*parseSimModel(model), SimIdentity{}));
            if ((fault && !server.faults().apply(fault)) || !server.start())
                _exit(1);
            for (;;)
                pause();
        }
        usleep(300000); // the child binds its sockets
    }

    ~ChildController()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }

    ChildController(const ChildController &) = delete;
    ChildController &operator=(const ChildController &) = delete;

private:
    pid_t m_pid = -1;
};

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Network namespaces a test creates for itself (root only), joined by veth
// links; nothing the test sends there can reach this machine's interfaces.

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace testsupport {

/// Runs `ip` with \a arguments; true when it exits with status 0.
inline bool runIp(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "ip");
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "ip", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/// Namespaces and veth links made for one test, deleted with it.
class TestNamespaces
{
public:
    TestNamespaces() = default;
    ~TestNamespaces()
    {
        // Deleting a namespace removes its ends of the veth links, and with them the others.
        for (const std::string &name : m_names)
            runIp({"netns", "del", name});
    }
    TestNamespaces(const TestNamespaces &) = delete;
    TestNamespaces &operator=(const TestNamespaces &) = delete;

    /// A namespace "<prefix><pid>" with its loopback up and reverse-path
    /// filtering off; its name, or "" on failure.
    std::string add(const std::string &prefix)
    {
        const std::string name = prefix + std::to_string(::getpid());
        if (!runIp({"netns", "add", name}))
            return {};
        m_names.push_back(name);
        if (!runIp({"-n", name, "link", "set", "lo", "up"}))
            return {};
        runIn(name, [] {
            for (const char *conf : {"all", "default"})
                std::ofstream("/proc/sys/net/ipv4/conf/" + std::string(conf) + "/rp_filter") << "0";
        });
        return name;
    }

    /// A veth link between \a a (link \a linkA, address \a addressA, e.g.
    /// "10.77.0.1/24") and \a b; both ends up.
    static bool link(const std::string &a, const std::string &linkA, const std::string &addressA,
                     const std::string &b, const std::string &linkB, const std::string &addressB)
    {
        return runIp({"link", "add", linkA, "netns", a, "type", "veth", "peer", "name", linkB,
                      "netns", b})
               && runIp({"-n", a, "addr", "add", addressA, "broadcast", "+", "dev", linkA})
               && runIp({"-n", b, "addr", "add", addressB, "broadcast", "+", "dev", linkB})
               && runIp({"-n", a, "link", "set", linkA, "up"})
               && runIp({"-n", b, "link", "set", linkB, "up"});
    }

    /// Runs \a body on a thread that has joined namespace \a name; threads it
    /// starts (a SimServer's) stay in that namespace.
    static bool runIn(const std::string &name, const std::function<void()> &body)
    {
        bool joined = false;
        std::thread worker([&] {
            const int fd = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
            joined = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
            if (fd >= 0)
                ::close(fd);
            if (joined)
                body();
        });
        worker.join();
        return joined;
    }

private:
    std::vector<std::string> m_names;
};

/// Two namespaces, "client" (10.77.0.1/24) and "device" (10.77.0.2/24), joined by a veth pair.
class NamespacePair
{
public:
    NamespacePair()
    {
        const std::string id = std::to_string(::getpid());
        clientLink = "tvc" + id;
        deviceLink = "tvd" + id;
        client = m_spaces.add("tvsimC");
        device = m_spaces.add("tvsimD");
        m_ok = !client.empty() && !device.empty()
               && TestNamespaces::link(client, clientLink, "10.77.0.1/24", device, deviceLink,
                                       "10.77.0.2/24");
    }

    bool ok() const { return m_ok; }
    static bool runIn(const std::string &name, const std::function<void()> &body)
    {
        return TestNamespaces::runIn(name, body);
    }

    std::string client, device, clientLink, deviceLink;

private:
    TestNamespaces m_spaces;
    bool m_ok = false;
};

} // namespace testsupport

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-sim: runs one or more virtual controllers until SIGTERM or SIGINT.
#include "sim/SimCommandLine.h"
#include "sim/SimController.h"
#include "sim/SimRequestLog.h"
#include "sim/SimServer.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <TarvineVersion.h>

#include <arpa/inet.h>
#include <pthread.h>

namespace {

std::array<uint8_t, 4> addressBytes(const std::string &text)
{
    in_addr address{};
    inet_pton(AF_INET, text.c_str(), &address);
    std::array<uint8_t, 4> bytes{};
    std::memcpy(bytes.data(), &address.s_addr, 4);
    return bytes;
}

std::string deviceName(const std::string &base, const std::string &suffix)
{
    return (base + suffix).substr(0, 16);
}

std::string modelText(const SimModel &model)
{
    char version[16];
    std::snprintf(version, sizeof version, "0x%08X", model.version);
    return "model=" + (model.name.empty() ? std::string("custom") : model.name)
           + " type=" + std::to_string(model.typeCode) + '.' + std::to_string(model.subType)
           + " version=" + version;
}

void configure(SimController &controller, const SimCommandLine &options, int device = 0)
{
    for (const SimCommandLine::Vary &vary : options.vary)
        controller.raiseImageValue(vary.address, vary.step * uint64_t(device));
    controller.setAutoTuneOutcome(options.autotune);
    controller.setForcedWarnings(options.warnings);
    controller.setInputLevel(1, options.inputLevels[0]);
    controller.setInputLevel(2, options.inputLevels[1]);
}

} // namespace

int main(int argc, char **argv)
{
    std::string error;
    // Alone, --version names the program's version; with a value it sets the
    // firmware version register.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "tarvine-sim " << TARVINE_VERSION << "\n" << TARVINE_VERSION_NOTICE;
        return 0;
    }
    const auto options =
        SimCommandLine::parse(std::vector<std::string>(argv + 1, argv + argc), &error);
    if (!options) {
        std::cerr << "tarvine-sim: " << error << "\nTry 'tarvine-sim --help'.\n";
        return 2;
    }
    if (options->help) {
        std::cout << SimCommandLine::helpText();
        return 0;
    }

    // The servers' threads inherit this mask; the main thread takes the signals
    // with sigwait and shuts everything down in order.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::shared_ptr<SimRequestLog> log;
    if (!options->logPath.empty()) {
        log = std::make_shared<SimRequestLog>();
        if (!log->openFile(options->logPath, &error)) {
            std::cerr << "tarvine-sim: " << error << '\n';
            return 1;
        }
    }

    const bool anyAddress = options->bindAddress == "0.0.0.0";
    const std::array<uint8_t, 4> mask =
        anyAddress || !SimServer::isLoopbackAddress(options->bindAddress)
            ? std::array<uint8_t, 4>{255, 255, 255, 0}
            : std::array<uint8_t, 4>{255, 0, 0, 0};
    std::vector<std::unique_ptr<SimServer>> servers;
    std::vector<std::string> readyLines;
    int macOffset = 0;
    for (int i = 0; i < options->count; ++i) {
        SimServerConfig config;
        config.bindAddress = options->deviceAddress(i);
        config.tcpPort = options->tcpPort;
        config.udpPort = options->udpPort;
        config.allowAnyAddress = options->allowAnyAddress;
        const std::string suffix = options->count > 1 ? '-' + std::to_string(i + 1) : "";
        const auto ip = addressBytes(anyAddress ? "127.0.0.1" : config.bindAddress);

        std::string description;
        std::unique_ptr<SimServer> server;
        if (options->gateway) {
            SimGatewayIdentity gateway;
            gateway.identity = {options->macPlus(macOffset++), ip, mask,
                                deviceName(options->name, suffix)};
            std::map<int, std::shared_ptr<SimController>> modules;
            std::string list;
            for (const int address : options->modules) {
                SimIdentity identity{
                    options->macPlus(macOffset++), ip, mask,
                    deviceName(options->name, suffix + '-' + std::to_string(address))};
                modules[address] = std::make_shared<SimController>(options->model, identity);
                configure(*modules[address], *options, i);
                if (options->limitSwitches)
                    modules[address]->setLimitSwitchPositions(options->limitSwitches->first,
                                                              options->limitSwitches->second);
                list += (list.empty() ? "" : ",") + std::to_string(address);
            }
            description = "gateway mac=" + simMacText(gateway.identity.mac) + " modules=" + list
                          + ' ' + modelText(options->model);
            server = std::make_unique<SimServer>(config, gateway, std::move(modules));
        } else {
            SimIdentity identity{options->macPlus(macOffset++), ip, mask,
                                 deviceName(options->name, suffix)};
            description = "direct mac=" + simMacText(identity.mac) + " name=" + identity.name + ' '
                          + modelText(options->model);
            auto controller = std::make_shared<SimController>(options->model, identity);
            configure(*controller, *options, i);
            if (options->limitSwitches)
                controller->setLimitSwitchPositions(options->limitSwitches->first,
                                                    options->limitSwitches->second);
            server = std::make_unique<SimServer>(config, std::move(controller));
        }
        server->faults().setSettings(options->faults);
        if (auto controller = server->controller())
            controller->setRegisterFaults(options->faults.noAnswer, options->faults.ignoreWrite);
        for (const int address : options->modules)
            if (auto controller = server->module(address))
                controller->setRegisterFaults(options->faults.noAnswer,
                                              options->faults.ignoreWrite);
        server->faults().setSeed(options->seed + uint64_t(i));
        server->setLog(log);
        if (!server->start(&error)) {
            std::cerr << "tarvine-sim: " << config.bindAddress << ": " << error << '\n';
            for (auto &started : servers)
                started->stop();
            return 1;
        }
        readyLines.push_back("ready " + server->address()
                             + " tcp=" + std::to_string(server->tcpPort())
                             + " udp=" + std::to_string(server->udpPort()) + ' ' + description);
        servers.push_back(std::move(server));
    }
    for (const std::string &line : readyLines)
        std::cout << line << '\n';
    std::cout.flush();

    int received = 0;
    while (sigwait(&signals, &received) != 0) {
    }
    for (auto &server : servers)
        server->stop();
    return 0;
}

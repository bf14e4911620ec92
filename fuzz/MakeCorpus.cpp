// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Writes the seed corpus of every fuzz target from the real thing: the tool's
// own requests and the virtual controller's answers to them (direct, UDP and
// gateway), discovery datagrams, parameter files written from a virtual
// controller's registers, and the texts the windows show for its values.
//
// Usage: make_fuzz_corpus <folder>   (writes <folder>/<target>/*)
#include "fuzz/MakeCorpus.h"

#include "base/Diagnostics.h"
#include "device/ModelProfile.h"
#include "device/QLMCIPMotor.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "link/RequestEncoder.h"
#include "discovery/DiscoveryFrames.h"
#include "protocol/AnswerAssembler.h"
#include "protocol/CommStatistics.h"
#include "protocol/ConnectionState.h"
#include "protocol/PacketTransport.h"
#include "sim/SimModel.h"
#include "sim/SimResponder.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

CorpusWriter::CorpusWriter(std::filesystem::path folder)
    : m_folder(std::move(folder))
{}

void CorpusWriter::write(const std::string &target, const std::string &name,
                         const std::vector<uint8_t> &bytes)
{
    std::filesystem::create_directories(m_folder / target);
    std::ofstream(m_folder / target / name, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    ++m_count;
}

void CorpusWriter::write(const std::string &target, const std::string &name,
                         const QByteArray &bytes)
{
    write(target, name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

std::shared_ptr<SimController> makeController(const SimModel &model)
{
    auto controller = std::make_shared<SimController>(model, SimIdentity{});
    controller->useManualClock(true);
    return controller;
}

std::shared_ptr<SimController> makeController(const std::string &model)
{
    return makeController(*parseSimModel(model));
}

namespace {

/// Keeps the last frame the encoder sent.
class Capture : public PacketTransport
{
public:
    std::vector<uint8_t> frame;
    bool canSend() const override { return true; }
    bool sendFrame(const uint8_t *data, size_t size) override
    {
        frame.assign(data, data + size);
        return true;
    }
};

SimFrame parse(const std::vector<uint8_t> &bytes)
{
    SimFrame frame;
    frame.function = uint16_t((bytes[0] << 8) | bytes[1]);
    frame.transaction = uint16_t((bytes[2] << 8) | bytes[3]);
    frame.payload.assign(bytes.begin() + 6, bytes.end() - 2);
    return frame;
}

/// The tool's encoder in one mode, answered by one virtual device; keeps the
/// last request it sent.
class Exchange
{
public:
    Exchange(int mode, SimResponder &responder)
        : m_mode(mode)
        , m_responder(responder)
        , m_encoder(m_state, m_statistics, m_assembler)
    {
        m_state.ComMode = mode;
        m_state.I2CAddress = 16;
    }

    std::vector<uint8_t> read(const std::vector<int> &addresses)
    {
        QLMCIPPacket packet;
        for (int a : addresses)
            packet.Data[size_t(packet.DataCount++)] = uint8_t(a);
        m_encoder.sendRead(packet, m_capture);
        return answer();
    }
    std::vector<uint8_t> write(int address, int64_t value)
    {
        QLMCIPPacket packet;
        packet.Data[size_t(packet.DataCount++)] = uint8_t(address);
        const int size = QLMCIPMotor::RegisterSize(address);
        for (int i = size - 1; i >= 0; --i)
            packet.Data[size_t(packet.DataCount++)] = uint8_t(value >> (8 * i));
        m_encoder.sendWrite(packet, m_capture);
        return answer();
    }
    std::vector<uint8_t> scan()
    {
        m_encoder.sendScanRequest(m_capture);
        return answer();
    }
    const std::vector<uint8_t> &request() const { return m_capture.frame; }

private:
    std::vector<uint8_t> answer()
    {
        const SimResponse response =
            m_responder.respond(parse(m_capture.frame),
                                m_mode == ComModes::Udp ? SimTransport::Udp : SimTransport::Tcp);
        if (response.outcome != SimResponse::Outcome::Answered)
            return {};
        return encodeSimFrame(response.answer);
    }

    int m_mode;
    SimResponder &m_responder;
    ConnectionState m_state;
    CommStatistics m_statistics;
    AnswerAssembler m_assembler;
    RequestEncoder m_encoder;
    Capture m_capture;
};

/// The register addresses in read packets of at most \a budget answer bytes.
std::vector<std::vector<int>> readGroups(int perRegister, int budget = 110)
{
    std::vector<std::vector<int>> groups(1);
    int used = 0;
    for (int address = 0; address <= 0x63; ++address) {
        const int size = isRegisterAddress(address) ? QLMCIPMotor::RegisterSize(address) : 0;
        if (size <= 0)
            continue;
        if (used + size + perRegister > budget) {
            groups.emplace_back();
            used = 0;
        }
        groups.back().push_back(address);
        used += size + perRegister;
    }
    return groups;
}

std::vector<uint8_t> cat(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/// fuzz_answer: mode and phase byte, gateway items (bit 7: wrap the rest into
/// a frame), then the bytes received.
std::vector<uint8_t> answerSeed(int mode, int phase, int items, const std::vector<uint8_t> &bytes)
{
    const int modeIndex = mode + 1; // -1, 0, 1, 2 as the target maps them
    return cat({uint8_t(modeIndex | (phase << 2)), uint8_t(items & 0x1F)}, bytes);
}

/// fuzz_datagram: one datagram of the current connection (control 0, 16-bit length).
std::vector<uint8_t> datagramItem(const std::vector<uint8_t> &datagram, uint8_t control = 0)
{
    return cat({control, uint8_t(datagram.size() >> 8), uint8_t(datagram.size())}, datagram);
}

/// fuzz_discovery and fuzz_sim_request: raw chunks of at most 255 bytes
/// (control byte \a control, length byte).
std::vector<uint8_t> chunkItems(const std::vector<uint8_t> &bytes, uint8_t control = 0)
{
    std::vector<uint8_t> out;
    for (size_t at = 0; at < bytes.size(); at += 255) {
        const size_t n = std::min<size_t>(255, bytes.size() - at);
        out.push_back(control);
        out.push_back(uint8_t(n));
        out.insert(out.end(), bytes.begin() + std::ptrdiff_t(at),
                   bytes.begin() + std::ptrdiff_t(at + n));
    }
    return out;
}

struct VirtualDevices
{
    SimResponder direct{makeController("NETEC-A")};
    SimResponder gateway{SimGatewayIdentity{}, {{16, makeController("NETEC-A")}}};
};

void writeExchangeSeeds(CorpusWriter &out, VirtualDevices &devices)
{
    for (int mode : {ComModes::TcpDirect, ComModes::Udp, ComModes::TcpGateway}) {
        const bool isGateway = mode == ComModes::TcpGateway;
        const bool isUdp = mode == ComModes::Udp;
        Exchange exchange(mode, isGateway ? devices.gateway : devices.direct);
        const std::string prefix = isGateway ? "gateway" : isUdp ? "udp" : "direct";
        // fuzz_sim_request: transport bit 0 (UDP), bit 1 (gateway).
        const std::vector<uint8_t> requestHead{uint8_t((isUdp ? 1 : 0) | (isGateway ? 2 : 0))};
        std::vector<uint8_t> cycle{uint8_t(Phases::Read)}; // every read answer, one datagram each
        std::vector<uint8_t> requests = requestHead;       // every read request, one stream
        int n = 0;
        std::vector<uint8_t> previous;
        for (const std::vector<int> &group : readGroups(isGateway ? 3 : 1)) {
            const std::vector<uint8_t> answer = exchange.read(group);
            const std::string index = std::to_string(n);
            out.write("fuzz_answer", prefix + "-read-" + index + ".bin",
                      answerSeed(mode, Phases::Read, 0, answer));
            if (!isGateway && answer.size() > 8) {
                // The payload alone, for the target to frame with a valid checksum.
                const std::vector<uint8_t> payload(answer.begin() + 6, answer.end() - 2);
                out.write("fuzz_answer", prefix + "-payload-" + index + ".bin",
                          answerSeed(mode, Phases::Read, 0x80, payload));
            }
            if (!previous.empty())
                // Two answers in one chunk (a merged answer).
                out.write("fuzz_answer", prefix + "-merged-" + index + ".bin",
                          answerSeed(mode, Phases::Read, 0, cat(previous, answer)));
            if (isUdp) {
                out.write("fuzz_datagram", "read-" + index + ".bin",
                          cat({uint8_t(Phases::Read)}, datagramItem(answer)));
                cycle = cat(cycle, datagramItem(answer));
            }
            if (n < 2)
                out.write("fuzz_sim_request", prefix + "-read-" + index + ".bin",
                          cat(requestHead, chunkItems(exchange.request())));
            requests = cat(requests, chunkItems(exchange.request()));
            previous = answer;
            ++n;
        }
        out.write("fuzz_sim_request", prefix + "-reads.bin", requests);

        const std::pair<int, int64_t> writes[] = {
            {Reg::Input, 1000}, {Reg::Acceleration, 5000}, {Reg::SpeedMax, 20000}};
        for (const auto &[address, value] : writes) {
            const std::vector<uint8_t> answer = exchange.write(address, value);
            const std::string name = prefix + "-write-" + std::to_string(address) + ".bin";
            out.write("fuzz_answer", name,
                      answerSeed(mode, Phases::Write, isGateway ? 1 : 0, answer));
            out.write("fuzz_sim_request", name, cat(requestHead, chunkItems(exchange.request())));
            if (isUdp)
                out.write("fuzz_datagram", "write-" + std::to_string(address) + ".bin",
                          cat({uint8_t(Phases::Write)}, datagramItem(answer)));
        }
        if (isGateway) {
            out.write("fuzz_answer", "gateway-scan.bin",
                      answerSeed(mode, Phases::Read, 0, exchange.scan()));
            out.write("fuzz_sim_request", "gateway-scan.bin",
                      cat(requestHead, chunkItems(exchange.request())));
        }
        if (isUdp) {
            out.write("fuzz_datagram", "cycle.bin", cycle);
            // The first answer arriving on a closed connection, then a
            // truncated one and a whole one on the current connection.
            const std::vector<uint8_t> first = exchange.read(readGroups(1).front());
            const std::vector<uint8_t> cut(first.begin(), first.end() - 3);
            out.write(
                "fuzz_datagram", "stale-truncated-whole.bin",
                cat(cat(cat({uint8_t(Phases::Read)}, datagramItem(first, 1)), datagramItem(cut)),
                    datagramItem(first)));
        }
    }
}

/// Discovery: the identify request and an IP change on UDP to both devices,
/// their answers as the engine receives them.
void writeDiscoverySeeds(CorpusWriter &out, VirtualDevices &devices)
{
    const std::vector<uint8_t> identify = DiscoveryFrames::identifyRequest();
    std::vector<uint8_t> both;
    for (SimResponder *device : {&devices.direct, &devices.gateway}) {
        const std::string name = device->isGateway() ? "gateway" : "direct";
        const SimResponse response = device->respond(parse(identify), SimTransport::Udp);
        const std::vector<uint8_t> answer = encodeSimFrame(response.answer);
        out.write("fuzz_discovery", name + "-identify.bin", chunkItems(answer, 2));
        both = cat(both, chunkItems(answer, device->isGateway() ? 0 : 2));
        out.write("fuzz_sim_request", name + "-identify.bin",
                  cat({uint8_t(device->isGateway() ? 3 : 1)}, chunkItems(identify)));
    }
    out.write("fuzz_discovery", "two-senders.bin", both);

    const SimIdentity identity = devices.direct.identity();
    const std::vector<uint8_t> change =
        DiscoveryFrames::changeIpRequest(identity.mac, {127, 0, 0, 9}, {255, 0, 0, 0});
    out.write("fuzz_sim_request", "direct-change-ip.bin", cat({uint8_t(1)}, chunkItems(change)));
}

} // namespace

void writeWireSeeds(CorpusWriter &out)
{
    VirtualDevices devices;
    writeExchangeSeeds(out, devices);
    writeDiscoverySeeds(out, devices);
}

void fillSessionFromVirtualController(QLMCSession &session, const std::string &model)
{
    SimResponder device(makeController(model));
    Exchange exchange(ComModes::TcpDirect, device);
    session.connection().ComMode = ComModes::TcpDirect;
    const auto feed = [&](const std::vector<uint8_t> &answer) {
        session.feedAnswerBytes(answer.data(), answer.size(), AnswerAssembler::CurrentGeneration,
                                false);
    };
    feed(exchange.read({Reg::Type, Reg::Version}));
    uint32_t type, version;
    {
        RegisterLockGuard guard(session.lock());
        type = session.Device.DeviceType;
        version = session.Device.DeviceVersion;
    }
    applyRegisterAccess(identifyDevice(type, version), session.motor());
    for (const std::vector<int> &group : readGroups(1))
        feed(exchange.read(group));
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_corpus <folder>\n");
        return 64;
    }
    // Decoder messages would go to a log file; keep them in memory.
    SetLogTarget(0, QStringLiteral("/nonexistent"), QStringLiteral("corpus"));
    SetLogOptions(0, -2, false, true, QStringLiteral("corpus"));
    CorpusWriter out{std::filesystem::path(argv[1])};
    writeWireSeeds(out);
    writeFileSeeds(out, TARVINE_SOURCE_DIR);
    writeTextSeeds(out);
    std::printf("make_fuzz_corpus: %d seeds in %s\n", out.count(), argv[1]);
    return 0;
}

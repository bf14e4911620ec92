// Writes the seed corpus of the fuzz targets: real answer frames of the
// virtual controller to the tool's own requests (direct, UDP and gateway;
// reads of every register, writes, a bus scan), one file per seed.
//
// Usage: make_fuzz_corpus <folder>   (writes <folder>/fuzz_answer/*.bin)
#include "device/QLMCIPMotor.h"
#include "device/RegisterTable.h"
#include "link/RequestEncoder.h"
#include "protocol/AnswerAssembler.h"
#include "protocol/CommStatistics.h"
#include "protocol/ConnectionState.h"
#include "protocol/PacketTransport.h"
#include "sim/SimModel.h"
#include "sim/SimResponder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

class CorpusWriter
{
public:
    explicit CorpusWriter(std::filesystem::path folder)
        : m_folder(std::move(folder))
    {
        std::filesystem::create_directories(m_folder);
    }

    /// One seed in the fuzz target's layout: mode and phase byte, gateway
    /// items (bit 7: wrap the rest into a frame), then the bytes received.
    void write(const std::string &name, int mode, int phase, int items,
               const std::vector<uint8_t> &bytes)
    {
        const int modeIndex = mode + 1; // -1, 0, 1, 2 as the target maps them
        std::vector<uint8_t> seed{uint8_t(modeIndex | (phase << 2)), uint8_t(items & 0x1F)};
        seed.insert(seed.end(), bytes.begin(), bytes.end());
        std::ofstream(m_folder / (name + ".bin"), std::ios::binary)
            .write(reinterpret_cast<const char *>(seed.data()), std::streamsize(seed.size()));
        ++m_count;
    }
    int count() const { return m_count; }

private:
    std::filesystem::path m_folder;
    int m_count = 0;
};

/// The tool's encoder in one mode, answered by one virtual device.
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

private:
    std::vector<uint8_t> answer()
    {
        const SimResponse response = m_responder.respond(
            parse(m_capture.frame), m_mode == ComModes::Udp ? SimTransport::Udp : SimTransport::Tcp);
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

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_corpus <folder>\n");
        return 64;
    }
    const SimModel model = *parseSimModel("NETEC-A");
    SimResponder direct(std::make_shared<SimController>(model, SimIdentity{}));
    std::map<int, std::shared_ptr<SimController>> modules;
    modules[16] = std::make_shared<SimController>(model, SimIdentity{});
    SimResponder gateway(SimGatewayIdentity{}, modules);

    CorpusWriter out(std::filesystem::path(argv[1]) / "fuzz_answer");
    for (int mode : {ComModes::TcpDirect, ComModes::Udp, ComModes::TcpGateway}) {
        const bool isGateway = mode == ComModes::TcpGateway;
        Exchange exchange(mode, isGateway ? gateway : direct);
        const std::string prefix =
            isGateway ? "gateway" : mode == ComModes::Udp ? "udp" : "direct";
        int n = 0;
        std::vector<uint8_t> previous;
        for (const std::vector<int> &group : readGroups(isGateway ? 3 : 1)) {
            const std::vector<uint8_t> answer = exchange.read(group);
            out.write(prefix + "-read-" + std::to_string(n), mode, Phases::Read, 0, answer);
            if (!isGateway && answer.size() > 8) {
                // The payload alone, for the target to frame with a valid checksum.
                std::vector<uint8_t> payload(answer.begin() + 6, answer.end() - 2);
                out.write(prefix + "-payload-" + std::to_string(n), mode, Phases::Read, 0x80,
                          payload);
            }
            if (!previous.empty()) {
                // Two answers in one chunk (a merged answer).
                std::vector<uint8_t> two = previous;
                two.insert(two.end(), answer.begin(), answer.end());
                out.write(prefix + "-merged-" + std::to_string(n), mode, Phases::Read, 0, two);
            }
            previous = answer;
            ++n;
        }
        const std::pair<int, int64_t> writes[] = {
            {Reg::Input, 1000}, {Reg::Acceleration, 5000}, {Reg::SpeedMax, 20000}};
        for (const auto &[address, value] : writes)
            out.write(prefix + "-write-" + std::to_string(address), mode, Phases::Write,
                      isGateway ? 1 : 0, exchange.write(address, value));
        if (isGateway)
            out.write("gateway-scan", mode, Phases::Read, 0, exchange.scan());
    }
    std::printf("make_fuzz_corpus: %d seeds in %s\n", out.count(), argv[1]);
    return 0;
}

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimResponder.h"

#include "device/RegisterTable.h"
#include "protocol/QLMCIPPacket.h"

#include <algorithm>
#include <cstdio>

namespace {

/// The frame's 16-bit length field bounds every answer.
constexpr size_t MaxAnswerPayload = 0xFFFF;

std::string hexByte(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

SimResponse answer(uint16_t transaction, std::vector<uint8_t> payload,
                   uint16_t function = Function::ReadAnswer)
{
    SimResponse response;
    response.outcome = SimResponse::Outcome::Answered;
    response.answer.function = function;
    response.answer.transaction = transaction;
    response.answer.payload = std::move(payload);
    return response;
}

SimResponse rejected(SimResponse::Outcome outcome, std::string note)
{
    SimResponse response;
    response.outcome = outcome;
    response.note = std::move(note);
    return response;
}

std::array<uint8_t, 4> bigEndian32(uint32_t value)
{
    return {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
}

std::array<uint8_t, 16> nameBytes(const std::string &name)
{
    // The name travels as 16 characters, zero-padded.
    std::array<uint8_t, 16> bytes{};
    std::copy_n(name.begin(), std::min<size_t>(name.size(), bytes.size()), bytes.begin());
    return bytes;
}

/// Appends one discovery variable: code byte, then its value bytes.
template<size_t N>
void appendVariable(std::vector<uint8_t> &out, uint8_t code, const std::array<uint8_t, N> &value)
{
    out.push_back(code);
    out.insert(out.end(), value.begin(), value.end());
}

} // namespace

SimResponder::SimResponder(std::shared_ptr<SimController> controller)
    : m_controller(std::move(controller))
{}

SimResponder::SimResponder(SimGatewayIdentity gateway,
                           std::map<int, std::shared_ptr<SimController>> modules)
    : m_gateway(true)
    , m_modules(std::move(modules))
    , m_gatewayIdentity(std::move(gateway))
{}

std::shared_ptr<SimController> SimResponder::module(int address) const
{
    const auto it = m_modules.find(address);
    return it == m_modules.end() ? nullptr : it->second;
}

std::vector<int> SimResponder::moduleAddresses() const
{
    std::vector<int> addresses;
    for (const auto &[address, controller] : m_modules) {
        if (controller)
            addresses.push_back(address);
    }
    return addresses;
}

SimIdentity SimResponder::identity() const
{
    if (!m_gateway)
        return m_controller->identity();
    std::lock_guard lock(m_identityMutex);
    return m_gatewayIdentity.identity;
}

bool SimResponder::isIdentifyRequest(const SimFrame &request)
{
    // 00 21 00 00 00 04 | 00 11 01 15 | FE B4: type, MAC, version and name.
    static constexpr std::array<uint8_t, 4> variables{Reg::Type, Reg::EthernetMac, Reg::Version,
                                                      Reg::Name};
    return request.function == Function::Read
           && std::equal(request.payload.begin(), request.payload.end(), variables.begin(),
                         variables.end());
}

SimResponse SimResponder::respond(const SimFrame &request, SimTransport transport)
{
    if (transport == SimTransport::Udp) {
        // Discovery datagrams reach directly connected devices and gateways alike.
        if (isIdentifyRequest(request))
            return identify(request);
        if (request.function == Function::ChangeIp)
            return changeIp(request);
    }
    if (m_gateway) {
        // A gateway forwards register transfers on its TCP port only.
        if (transport == SimTransport::Tcp && request.function == Function::GatewayTransfer)
            return gatewayTransfer(request);
        if (transport == SimTransport::Tcp && request.function == Function::GatewayScan)
            return gatewayScan(request);
    } else {
        if (request.function == Function::Read)
            return readDirect(request);
        if (request.function == Function::Write)
            return writeDirect(request);
    }
    char text[48];
    std::snprintf(text, sizeof text, "function 0x%04X not served here", request.function);
    return rejected(SimResponse::Outcome::Unsupported, text);
}

SimResponse SimResponder::readDirect(const SimFrame &request)
{
    // One address byte per register; the answer carries address + value bytes
    // for each register the device answers, in request order. Registers it
    // does not answer are left out.
    std::vector<uint8_t> payload;
    payload.reserve(request.payload.size() * 5);
    int omitted = 0;
    for (const uint8_t address : request.payload) {
        payload.push_back(address);
        if (!m_controller->readRegister(address, payload)) {
            payload.pop_back();
            ++omitted;
        }
    }
    if (payload.size() > MaxAnswerPayload)
        return rejected(SimResponse::Outcome::Malformed, "answer would exceed 65535 bytes");
    SimResponse response = answer(request.transaction, std::move(payload));
    if (omitted > 0)
        response.note = std::to_string(omitted) + " register(s) not answered";
    return response;
}

SimResponse SimResponder::writeDirect(const SimFrame &request)
{
    // Entries: address byte, then the register's table size in value bytes.
    // The whole request is checked before anything is applied.
    struct Entry
    {
        int address;
        size_t offset;
        size_t size;
    };
    std::vector<Entry> entries;
    const auto &p = request.payload;
    size_t i = 0;
    while (i < p.size()) {
        const int address = p[i];
        const RegisterInfo *info = registerInfo(address);
        if (!info || info->address < 0)
            return rejected(SimResponse::Outcome::Malformed,
                            "write of unknown register " + hexByte(address));
        const auto size = static_cast<size_t>(info->size);
        if (p.size() - i - 1 < size)
            return rejected(SimResponse::Outcome::Malformed,
                            "write entry " + hexByte(address) + " truncated");
        entries.push_back({address, i + 1, size});
        i += 1 + size;
    }

    std::string refused;
    for (const Entry &entry : entries) {
        if (!m_controller->writeRegister(
                entry.address, std::span<const uint8_t>(p.data() + entry.offset, entry.size)))
            refused += (refused.empty() ? "" : " ") + hexByte(entry.address);
    }
    // Write answers have the read-answer shape; there is nothing to report.
    SimResponse response = answer(request.transaction, {});
    if (!refused.empty())
        response.note = "write refused: " + refused;
    return response;
}

SimResponse SimResponder::identify(const SimFrame &request)
{
    // The identify answer carries the four variables in this order:
    // type (4 bytes), MAC (6), version (4), name (16, zero-padded).
    std::vector<uint8_t> payload;
    payload.reserve(34);
    if (m_gateway) {
        SimGatewayIdentity gateway;
        {
            std::lock_guard lock(m_identityMutex);
            gateway = m_gatewayIdentity;
        }
        appendVariable(payload, Reg::Type, bigEndian32(gateway.typeRegister));
        appendVariable(payload, Reg::EthernetMac, gateway.identity.mac);
        appendVariable(payload, Reg::Version, bigEndian32(gateway.version));
        appendVariable(payload, Reg::Name, nameBytes(gateway.identity.name));
    } else {
        // The model and the network identity are what the device reports here.
        const SimIdentity id = m_controller->identity();
        const SimModel &model = m_controller->model();
        appendVariable(payload, Reg::Type, bigEndian32(model.typeRegister()));
        appendVariable(payload, Reg::EthernetMac, id.mac);
        appendVariable(payload, Reg::Version, bigEndian32(model.version));
        appendVariable(payload, Reg::Name, nameBytes(id.name));
    }
    return answer(request.transaction, std::move(payload));
}

SimResponse SimResponder::changeIp(const SimFrame &request)
{
    // Payload: target MAC (6), new IP address (4), subnet mask (4). Only the
    // device with that MAC takes it; the request is not answered.
    const auto &p = request.payload;
    if (p.size() != 14)
        return rejected(SimResponse::Outcome::Malformed,
                        "IP change with " + std::to_string(p.size()) + " data bytes");
    SimResponse response;
    response.outcome = SimResponse::Outcome::Silent;
    std::array<uint8_t, 6> mac{};
    std::copy_n(p.begin(), 6, mac.begin());
    std::copy_n(p.begin() + 6, 4, response.newIp.begin());
    std::copy_n(p.begin() + 10, 4, response.newMask.begin());
    if (mac != identity().mac) {
        response.note = "IP change for another MAC ignored";
        return response;
    }
    if (m_gateway) {
        std::lock_guard lock(m_identityMutex);
        m_gatewayIdentity.identity.ip = response.newIp;
        m_gatewayIdentity.identity.mask = response.newMask;
    } else {
        m_controller->setAddress(response.newIp, response.newMask);
    }
    response.addressChanged = true;
    response.note = "IP change applied";
    return response;
}

SimResponse SimResponder::gatewayTransfer(const SimFrame &request)
{
    // Items: module address, bytes to write W, W bytes (register address and
    // value bytes), bytes to read R. Per item the answer holds the R read
    // bytes (when R > 0) and one status byte; 0x87 is the module's acknowledge.
    // The answer carries no register addresses.
    struct Item
    {
        int module;
        size_t writeOffset;
        size_t writeCount;
        size_t readCount;
    };
    std::vector<Item> items;
    size_t answerSize = 0;
    const auto &p = request.payload;
    size_t i = 0;
    while (i < p.size()) {
        if (p.size() - i < 2)
            return rejected(SimResponse::Outcome::Malformed, "transfer item truncated");
        const int module = p[i];
        const size_t writeCount = p[i + 1];
        if (writeCount == 0)
            return rejected(SimResponse::Outcome::Malformed,
                            "transfer item without register address");
        if (p.size() - i - 2 < writeCount + 1)
            return rejected(SimResponse::Outcome::Malformed, "transfer item truncated");
        const size_t readCount = p[i + 2 + writeCount];
        items.push_back({module, i + 2, writeCount, readCount});
        answerSize += readCount + 1;
        i += 3 + writeCount;
    }
    if (answerSize > MaxAnswerPayload)
        return rejected(SimResponse::Outcome::Malformed, "answer would exceed 65535 bytes");

    std::vector<uint8_t> payload;
    int failed = 0;
    for (const Item &item : items) {
        const auto controller = module(item.module);
        const int address = p[item.writeOffset];
        uint8_t status = SimGatewayStatus::Ack;
        if (!controller) {
            status = SimGatewayStatus::AddressNack;
        } else if (item.writeCount > 1 || item.readCount == 0) {
            // A write carries the value after the address; a command register
            // (no value bytes) is written with the address alone and nothing to read.
            const std::span<const uint8_t> value(p.data() + item.writeOffset + 1,
                                                 item.writeCount - 1);
            if (!controller->writeRegister(address, value))
                status = SimGatewayStatus::DataNack;
        }
        if (item.readCount > 0) {
            const size_t start = payload.size();
            bool read = false;
            if (status == SimGatewayStatus::Ack) {
                read = controller->readRegister(address, payload)
                       && payload.size() - start == item.readCount;
                if (!read)
                    status = SimGatewayStatus::DataNack;
            }
            if (!read) {
                // Keep the layout: R filler bytes stand where the value would
                // be (or nothing, as some gateways answer).
                payload.resize(start);
                if (!m_nackStatusOnly.load())
                    payload.insert(payload.end(), item.readCount, SimGatewayStatus::Filler);
            }
        }
        payload.push_back(status);
        if (status != SimGatewayStatus::Ack)
            ++failed;
    }
    SimResponse response = answer(request.transaction, std::move(payload));
    if (failed > 0)
        response.note = std::to_string(failed) + " transfer(s) not acknowledged";
    return response;
}

SimResponse SimResponder::gatewayScan(const SimFrame &request)
{
    // The scan request has an empty payload; the answer (0x0006) lists one
    // byte per module found on the bus, its 7-bit I2C address.
    if (!request.payload.empty())
        return rejected(SimResponse::Outcome::Malformed, "bus scan with payload");
    std::vector<uint8_t> payload;
    for (const int address : moduleAddresses())
        payload.push_back(uint8_t(address));
    return answer(request.transaction, std::move(payload), Function::GatewayScanAnswer);
}

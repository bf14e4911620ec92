// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/TcpClientSocket.h"
#include "platform/UdpClientSocket.h"
#include "protocol/PacketTransport.h"

/// The TCP client as the encoders' transport (direct and gateway requests).
class TcpPacketTransport : public PacketTransport
{
public:
    explicit TcpPacketTransport(TcpClientSocket &socket)
        : m_socket(socket)
    {}
    bool canSend() const override { return m_socket.isConnected(); }
    bool sendFrame(const uint8_t *data, size_t size) override { return m_socket.send(data, size); }

private:
    TcpClientSocket &m_socket;
};

/// The UDP client as the encoders' transport; the sender receives the answer.
class UdpPacketTransport : public PacketTransport
{
public:
    explicit UdpPacketTransport(UdpClientSocket &socket)
        : m_socket(socket)
    {}
    bool canSend() const override { return m_socket.isOpen(); }
    bool sendFrame(const uint8_t *data, size_t size) override { return m_socket.send(data, size); }
    bool isDatagram() const override { return true; }
    int receiveDatagram(uint8_t *buffer, size_t capacity, int timeoutMs) override
    {
        return m_socket.receive(buffer, capacity, timeoutMs);
    }
    Discarded discardWaiting(size_t maxDatagrams, size_t maxBytes) override
    {
        const UdpClientSocket::Discarded d = m_socket.discardWaiting(maxDatagrams, maxBytes);
        return {d.datagrams, d.bytes, d.more};
    }

private:
    UdpClientSocket &m_socket;
};

// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "link/LinkFailure.h"

#include <cerrno>

namespace {

LinkFailure::Kind kindOfSocketError(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return LinkFailure::Kind::Refused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
        return LinkFailure::Kind::NoRoute;
    case ETIMEDOUT:
        return LinkFailure::Kind::TimedOut;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
        return LinkFailure::Kind::Reset;
    default:
        return LinkFailure::Kind::SocketError;
    }
}

} // namespace

LinkFailure LinkFailure::fromSocketError(int error)
{
    return {.kind = kindOfSocketError(error), .ended = true, .error = error};
}

LinkFailure LinkFailure::closedByPeer()
{
    return {.kind = Kind::ClosedByPeer, .ended = true};
}

LinkFailure LinkFailure::inputOverrun(bool udp)
{
    return {.kind = Kind::InputOverrun, .udp = udp, .ended = true};
}

LinkFailure LinkFailure::notAnswering(bool udp)
{
    return {.kind = Kind::TimedOut, .udp = udp};
}

LinkFailure LinkFailure::noAcknowledge(int module)
{
    return {.kind = Kind::NoAcknowledge, .module = module};
}

QString LinkFailure::description() const
{
    switch (kind) {
    case Kind::None:
        return {};
    case Kind::Refused:
        return QStringLiteral("connection refused");
    case Kind::NoRoute:
        return QStringLiteral("no route");
    case Kind::TimedOut:
        return QStringLiteral("timed out");
    case Kind::ClosedByPeer:
        return QStringLiteral("closed by the controller");
    case Kind::Reset:
        return QStringLiteral("connection reset");
    case Kind::InputOverrun:
        return QStringLiteral("the controller sent more than its answers could hold");
    case Kind::NoAcknowledge:
        return QStringLiteral("module %1 does not acknowledge").arg(module);
    case Kind::SocketError:
        return QStringLiteral("socket error: %1").arg(qt_error_string(error));
    }
    return {};
}

QString LinkFailure::panelText() const
{
    if (!ended)
        return {};
    if (udp)
        return QStringLiteral("UDP Error");
    return kind == Kind::ClosedByPeer ? QStringLiteral("TCP closed") : QStringLiteral("TCP Error");
}

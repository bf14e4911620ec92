#include "link/LinkFailure.h"

#include <cerrno>

LinkFailure LinkFailure::fromSocketError(int error)
{
    LinkFailure f;
    f.ended = true;
    f.error = error;
    switch (error) {
    case ECONNREFUSED:
        f.kind = Kind::Refused;
        break;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
        f.kind = Kind::NoRoute;
        break;
    case ETIMEDOUT:
        f.kind = Kind::TimedOut;
        break;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
        f.kind = Kind::Reset;
        break;
    default:
        f.kind = Kind::SocketError;
        break;
    }
    return f;
}

LinkFailure LinkFailure::closedByPeer()
{
    LinkFailure f;
    f.kind = Kind::ClosedByPeer;
    f.ended = true;
    return f;
}

LinkFailure LinkFailure::inputOverrun(bool udp)
{
    LinkFailure f;
    f.kind = Kind::InputOverrun;
    f.udp = udp;
    f.ended = true;
    return f;
}

LinkFailure LinkFailure::notAnswering(bool udp)
{
    LinkFailure f;
    f.kind = Kind::TimedOut;
    f.udp = udp;
    return f;
}

LinkFailure LinkFailure::noAcknowledge(int module)
{
    LinkFailure f;
    f.kind = Kind::NoAcknowledge;
    f.module = module;
    return f;
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

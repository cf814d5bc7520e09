#include "fault.h"

#include "crc16.h"
#include "hostile.h"

namespace sim {

QString faultName(Fault fault)
{
    switch (fault) {
    case Fault::None: return QStringLiteral("none");
    case Fault::Silent: return QStringLiteral("silent");
    case Fault::Crc: return QStringLiteral("crc");
    case Fault::Exception: return QStringLiteral("exception");
    case Fault::Foreign: return QStringLiteral("foreign");
    case Fault::Truncated: return QStringLiteral("truncated");
    case Fault::Split: return QStringLiteral("split");
    case Fault::Hostile: return QStringLiteral("hostile");
    }
    return {};
}

std::optional<Fault> injectableFault(const QString &name)
{
    for (const Fault fault : CountedFaults) {
        if (fault != Fault::Hostile && faultName(fault) == name)
            return fault;
    }
    return std::nullopt;
}

quint8 foreignAddress(quint8 address)
{
    return static_cast<quint8>(address % 247 + 1);
}

Reply injectFault(Fault fault, const QByteArray &request, const Answer &answer, std::mt19937 &random)
{
    Reply reply;
    reply.fault = fault;
    const QByteArray &frame = answer.frame;
    switch (fault) {
    case Fault::None:
    case Fault::Hostile: // never scheduled per slave; hostileReply() makes those
        reply.frame = frame;
        reply.isAnswer = answer.hasData;
        break;
    case Fault::Silent:
        break;
    case Fault::Crc:
        reply.frame = frame;
        reply.frame[frame.size() - 1] = static_cast<char>(frame[frame.size() - 1] ^ 0xFF);
        break;
    case Fault::Exception:
        reply.frame = buildExceptionReply(static_cast<quint8>(request[0]), static_cast<quint8>(request[1]),
                                          SlaveDeviceFailure);
        break;
    case Fault::Foreign: {
        QByteArray body = frame.left(frame.size() - 2);
        body[0] = static_cast<char>(foreignAddress(static_cast<quint8>(body[0])));
        reply.frame = withCrc(body);
        break;
    }
    case Fault::Truncated:
        reply.frame = frame.left(qMin(5, frame.size() - 1));
        break;
    case Fault::Split:
        reply = splitReply(frame, random);
        break;
    }
    return reply;
}

} // namespace sim

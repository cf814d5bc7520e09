#include "hostile.h"

#include "crc16.h"
#include "random.h"

namespace sim {

namespace {

QByteArray noise(std::mt19937 &random)
{
    QByteArray bytes;
    const int length = uniformInt(random, 1, 40);
    for (int i = 0; i < length; ++i)
        bytes.append(static_cast<char>(uniformInt(random, 0, 255)));
    return bytes;
}

QByteArray wrongByteCount(const QByteArray &correct, std::mt19937 &random)
{
    const int declared = 2 * uniformInt(random, 1, 10);
    const int carried = uniformInt(random, 0, 1) ? declared + 2 : declared - 2;
    QByteArray body = correct.left(2);
    body[1] = static_cast<char>(body[1] & 0x7F);
    body.append(static_cast<char>(declared));
    for (int i = 0; i < carried; ++i)
        body.append(static_cast<char>(uniformInt(random, 0, 255)));
    return withCrc(body);
}

QByteArray otherAddress(const QByteArray &correct, std::mt19937 &random)
{
    QByteArray body = correct.left(correct.size() - 2);
    const int own = static_cast<quint8>(body[0]);
    // Skip over the own address so every other one is equally likely.
    int address = uniformInt(random, 1, 246);
    if (address >= own)
        ++address;
    body[0] = static_cast<char>(address);
    return withCrc(body);
}

} // namespace

Reply splitReply(const QByteArray &frame, std::mt19937 &random)
{
    Reply reply;
    reply.fault = Fault::Split;
    const int cut = uniformInt(random, 1, frame.size() - 1);
    reply.frame = frame.left(cut);
    reply.tail = frame.mid(cut);
    reply.tailGapMs = uniformInt(random, HostileGapMinMs, HostileGapMaxMs);
    return reply;
}

Reply hostileReply(const QByteArray &correct, std::mt19937 &random)
{
    Reply reply;
    switch (uniformInt(random, 0, 3)) {
    case 0:
        reply.frame = noise(random);
        break;
    case 1:
        reply.frame = wrongByteCount(correct, random);
        break;
    case 2:
        reply = splitReply(correct, random);
        break;
    default:
        reply.frame = otherAddress(correct, random);
        break;
    }
    reply.fault = Fault::Hostile;
    return reply;
}

} // namespace sim

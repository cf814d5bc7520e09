#pragma once

#include "pdu.h"
#include "rtuframe.h"

#include <QByteArray>
#include <QMap>
#include <QtGlobal>

#include <array>

namespace sim {

// The frames, function and exception codes are the shared framing module's.
using namespace modbusframe;

constexpr int RegisterCount = 7;
using RegisterBlock = std::array<quint16, RegisterCount>;

// What a transmitter of another layout serves: registers of one kind, each
// at its address. A request for the other kind is refused with exception
// 01, one touching an address it does not serve with 02.
struct RegisterTable {
    quint8 function = ReadInputRegisters;
    QMap<int, quint16> registers;
};

struct Answer {
    QByteArray frame;
    bool hasData = false; // false for exception replies
};

// What a transmitter holding `registers` as its input registers 0 to 6
// replies to `request`, a frame whose CRC has already been checked.
Answer answerRequest(const QByteArray &request, const RegisterBlock &registers);
Answer answerRequest(const QByteArray &request, const RegisterTable &table);

} // namespace sim

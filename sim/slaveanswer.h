#pragma once

#include "pdu.h"
#include "rtuframe.h"

#include <QByteArray>
#include <QtGlobal>

#include <array>

namespace sim {

// The frames, function and exception codes are the shared framing module's.
using namespace modbusframe;

constexpr int RegisterCount = 7;
using RegisterBlock = std::array<quint16, RegisterCount>;

struct Answer {
    QByteArray frame;
    bool hasData = false; // false for exception replies
};

// What a transmitter holding `registers` replies to `request`, a frame whose
// CRC has already been checked.
Answer answerRequest(const QByteArray &request, const RegisterBlock &registers);

} // namespace sim

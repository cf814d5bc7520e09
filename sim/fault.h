#pragma once

#include "slaveanswer.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>
#include <random>

namespace sim {

enum class Fault { None, Silent, Crc, Exception, Foreign, Truncated, Split, Hostile };

// Every kind counted in the statistics, in reporting order.
constexpr std::array<Fault, 7> CountedFaults = {
    Fault::Silent, Fault::Crc, Fault::Exception, Fault::Foreign, Fault::Truncated, Fault::Split, Fault::Hostile};

QString faultName(Fault fault);
// The kinds a slave spec may inject; hostile belongs to the whole line.
std::optional<Fault> injectableFault(const QString &name);

// What goes back on the line for one request. A split reply sends `frame`,
// then `tail` after `tailGapMs`.
struct Reply {
    QByteArray frame;
    QByteArray tail;
    int tailGapMs = 0;
    bool isAnswer = false; // a complete, correct data reply
    Fault fault = Fault::None;
};

// Address another slave would answer from: the next one, wrapping within 1..247.
quint8 foreignAddress(quint8 address);

// The reply for a request whose correct answer is `answer`, spoiled by
// `fault`. Only a split draws from `random`, for where and how long.
Reply injectFault(Fault fault, const QByteArray &request, const Answer &answer, std::mt19937 &random);

} // namespace sim

#pragma once

#include "fault.h"

#include <QtGlobal>

#include <random>
#include <vector>

namespace sim {

struct FaultRule {
    enum class Trigger { First, After, Every, Probability };
    Trigger trigger = Trigger::First;
    Fault fault = Fault::Silent;
    int count = 0;            // N for First and After, k for Every
    double probability = 0.0; // for Probability
};

// Decides, request by request, which fault a slave injects. Rules of kind
// First win over After, which win over Every, which win over Probability;
// within a kind the rule given first wins.
class FaultSchedule {
public:
    FaultSchedule(std::vector<FaultRule> rules, quint32 seed);

    // The fault for the next request (Fault::None for a correct reply).
    Fault next();

private:
    std::vector<FaultRule> m_rules;
    quint64 m_requests = 0;
    std::mt19937 m_random;
};

} // namespace sim

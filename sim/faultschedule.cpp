#include "faultschedule.h"

#include "random.h"

#include <utility>

namespace sim {

FaultSchedule::FaultSchedule(std::vector<FaultRule> rules, quint32 seed)
    : m_rules(std::move(rules))
    , m_random(seed)
{
}

Fault FaultSchedule::next()
{
    const quint64 request = ++m_requests;

    for (const FaultRule &rule : m_rules) {
        if (rule.trigger == FaultRule::Trigger::First && request <= static_cast<quint64>(rule.count))
            return rule.fault;
    }
    for (const FaultRule &rule : m_rules) {
        if (rule.trigger == FaultRule::Trigger::After && request > static_cast<quint64>(rule.count))
            return rule.fault;
    }
    for (const FaultRule &rule : m_rules) {
        if (rule.trigger == FaultRule::Trigger::Every && request % static_cast<quint64>(rule.count) == 0)
            return rule.fault;
    }
    // Every probability rule draws each time, so one rule's outcome does not
    // shift the random sequence of the others.
    Fault chosen = Fault::None;
    for (const FaultRule &rule : m_rules) {
        if (rule.trigger != FaultRule::Trigger::Probability)
            continue;
        if (unitInterval(m_random) < rule.probability && chosen == Fault::None)
            chosen = rule.fault;
    }
    return chosen;
}

} // namespace sim

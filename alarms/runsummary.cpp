#include "runsummary.h"

#include "reading.h"
#include "alarmformat.h"
#include "csvline.h"
#include "failureshare.h"

#include <QCoreApplication>

#include <algorithm>
#include <bitset>

DeviceRunSummary::DeviceRunSummary(int address, const QString &unit, int decimals, int active, qint64 startMs)
    : m_address(address)
    , m_unit(unit)
    , m_decimals(decimals)
{
    alarmSetChanged(active, startMs);
}

void DeviceRunSummary::add(const Reading &reading, int activeAfter)
{
    // The line's faults are not the transmitter's.
    if (reading.lineLost)
        return;
    ++m_total;
    // A poll that brought no pressure did not do what the transmitter is for.
    if (!reading.hasPressure())
        ++m_failed;
    if (reading.hasPressure()) {
        if (m_pressureCount == 0)
            m_pressureFirst = m_pressureMin = m_pressureMax = reading.pressure;
        ++m_pressureCount;
        m_pressureLast = reading.pressure;
        m_pressureMin = std::min(m_pressureMin, reading.pressure);
        m_pressureMax = std::max(m_pressureMax, reading.pressure);
        m_pressureSum += reading.pressure;
    }
    if (reading.hasTemperature()) {
        if (m_temperatureCount == 0)
            m_temperatureMin = m_temperatureMax = reading.temperature;
        ++m_temperatureCount;
        m_temperatureMin = std::min(m_temperatureMin, reading.temperature);
        m_temperatureMax = std::max(m_temperatureMax, reading.temperature);
        m_temperatureSum += reading.temperature;
    }
    // The time is read only when needed: a local time costs a zone lookup.
    if (activeAfter != m_active)
        alarmSetChanged(activeAfter, reading.time.toMSecsSinceEpoch());
}

void DeviceRunSummary::finish(qint64 endMs)
{
    if (m_active)
        m_alarmMs += std::max<qint64>(0, endMs - m_activeSinceMs);
    m_active = 0;
}

void DeviceRunSummary::alarmSetChanged(int active, qint64 atMs)
{
    m_alarms += int(std::bitset<8>(unsigned(active & ~m_active)).count());
    if (!m_active && active)
        m_activeSinceMs = atMs;
    else if (m_active && !active)
        m_alarmMs += std::max<qint64>(0, atMs - m_activeSinceMs);
    m_active = active;
}

bool DeviceRunSummary::passed() const
{
    return !m_lineFailed && m_alarms == 0 && !exceedsFailureShare(m_failed, m_total);
}

QStringList DeviceRunSummary::fields() const
{
    const auto pressure = [this](double value) {
        return m_pressureCount ? QString::number(value, 'f', m_decimals) : QString();
    };
    const auto temperature = [this](double value) {
        return m_temperatureCount ? QString::number(value, 'f', 1) : QString();
    };
    const double pressures = m_pressureCount ? double(m_pressureCount) : 1.0;
    const double temperatures = m_temperatureCount ? double(m_temperatureCount) : 1.0;
    return {
        QString::number(m_address),
        m_unit,
        QString::number(m_total),
        QString::number(m_failed),
        pressure(m_pressureFirst),
        pressure(m_pressureLast),
        pressure(m_pressureMin),
        pressure(m_pressureMax),
        pressure(m_pressureSum / pressures),
        temperature(m_temperatureMin),
        temperature(m_temperatureMax),
        temperature(m_temperatureSum / temperatures),
        QString::number(m_alarms),
        QString::number(alarmSeconds(), 'f', 1),
        passed() ? QCoreApplication::translate("AlarmFormat", "合格")
                 : QCoreApplication::translate("AlarmFormat", "不合格"),
    };
}

QString DeviceRunSummary::row() const
{
    return csvLine(fields());
}

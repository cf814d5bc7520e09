#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

struct Reading;

// What one device did during a recording, kept up to date poll by poll so
// that the end of a long run costs one row per device, not a pass over files.
class DeviceRunSummary
{
public:
    DeviceRunSummary() = default;
    // `active` is the device's alarm set at Start: an alarm still raised then
    // counts as raised at Start.
    DeviceRunSummary(int address, const QString &unit, int decimals, int active, qint64 startMs);

    // One stored poll outcome and the alarm set after it. A poll made while
    // the line was lost counts nowhere; one without a valid pressure counts
    // as failed; an invalid value is left out of its quantity's figures.
    void add(const Reading &reading, int activeAfter);
    // The line was lost for too long in this run: no device passes it.
    void failForLine() { m_lineFailed = true; }
    // Alarms still raised are counted up to `endMs`.
    void finish(qint64 endMs);

    int address() const { return m_address; }
    quint32 totalCount() const { return m_total; }
    quint32 failCount() const { return m_failed; }
    double alarmSeconds() const { return double(m_alarmMs) / 1000.0; }
    // 不合格 when any alarm was raised, more than 5 % of the polls failed or
    // the run failed for its line.
    bool passed() const;

    // The summary's fields, in the order of its header.
    QStringList fields() const;
    // The summary file's row, line end included.
    QString row() const;

private:
    void alarmSetChanged(int active, qint64 atMs);

    int m_address = 0;
    QString m_unit;
    int m_decimals = 0;
    quint32 m_total = 0;
    quint32 m_failed = 0;
    quint32 m_pressureCount = 0;
    quint32 m_temperatureCount = 0;
    double m_pressureFirst = 0.0;
    double m_pressureLast = 0.0;
    double m_pressureMin = 0.0;
    double m_pressureMax = 0.0;
    double m_pressureSum = 0.0;
    double m_temperatureMin = 0.0;
    double m_temperatureMax = 0.0;
    double m_temperatureSum = 0.0;
    int m_alarms = 0;
    int m_active = 0;
    qint64 m_activeSinceMs = 0;
    qint64 m_alarmMs = 0;
    bool m_lineFailed = false;
};

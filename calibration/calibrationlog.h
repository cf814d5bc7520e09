#pragma once

#include "calibrationresult.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

class RowWriter;

// One row of the calibration file for one device at one point; `decimals`
// are the device's. Values in the device's unit carry two decimals more
// than its readings, shares of span three. A point without a value leaves
// its indication, error, uncertainty and standard deviation empty and fails.
// A retracted row repeats a point taken back, with 结论 "撤销".
QStringList calibrationFields(const PointOutcome &outcome, int decimals, bool retracted);
// The fields as a line of the file.
QString calibrationRow(const PointOutcome &outcome, int decimals, bool retracted);

// The calibration file of a pass, "校准__<stamp>.csv": each point's rows are
// appended as soon as it is taken, so a crash loses no point taken. The file
// is only ever appended to: a point taken back is written again with 结论
// "撤销". A point's rows stand unless rows of the same point number marked
// "撤销" follow them; a point taken again after that carries the same number.
class CalibrationLog : public QObject
{
    Q_OBJECT

public:
    // Creates `path` (or, its name taken, its next free copy) through
    // `writer`, the recording's, or through one of its own when `writer` is
    // null. `decimals` holds each device's decimals by address.
    CalibrationLog(const QString &path, const QHash<int, int> &decimals, RowWriter *writer, QObject *parent = nullptr);

    // The file made; the name asked for until the writer has made it.
    QString path() const;

    // The rows of a point just taken.
    void append(const QVector<PointOutcome> &outcomes);
    // The rows of a point taken back, marked so.
    void retract(const QVector<PointOutcome> &outcomes);

signals:
    // The file could not be created, or rows of it were dropped or lost.
    void failed(const QString &message);

private:
    void write(const QVector<PointOutcome> &outcomes, bool retracted);
    void fileCreated(const QString &path, const QString &createdAs);
    void rowsLost(const QString &path, int rows);

    const QString m_askedPath;
    QString m_createdAs;
    const QHash<int, int> m_decimals;
    QPointer<RowWriter> m_writer;
    bool m_notCreated = false;
};

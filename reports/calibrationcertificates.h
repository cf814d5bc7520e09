#pragma once

#include "calibrationresult.h"

#include <QObject>
#include <QString>
#include <QStringList>

class ReportMaker;

// The certificates of a finished pass, one per device, queued on a report
// maker: drawn on its thread, each into a file that takes its name only
// once whole. The maker's written() and failed() tell how each went.
class CalibrationCertificates : public QObject
{
    Q_OBJECT

public:
    // Queues on `maker` when given, else on a maker of its own.
    explicit CalibrationCertificates(ReportMaker *maker = nullptr, QObject *parent = nullptr);

    ReportMaker *maker() const { return m_maker; }

    // Asks for every device's certificate in `folder`, named by
    // certificateFileName(address, pass.end); returns the paths asked for,
    // in the pass's device order.
    QStringList write(const CalibrationResult &pass, const QString &folder);

private:
    ReportMaker *const m_maker;
};

#include "calibrationcertificates.h"

#include "calibrationcertificate.h"
#include "calibrationfiles.h"
#include "reportmaker.h"

#include <QDir>

CalibrationCertificates::CalibrationCertificates(ReportMaker *maker, QObject *parent)
    : QObject(parent)
    , m_maker(maker ? maker : new ReportMaker(this))
{
    setObjectName(QStringLiteral("calibrationCertificates"));
}

QStringList CalibrationCertificates::write(const CalibrationResult &pass, const QString &folder)
{
    QStringList paths;
    for (int i = 0; i < pass.devices.size(); ++i) {
        const QString path = QDir(folder).filePath(certificateFileName(pass.devices.at(i).address, pass.end));
        // Each drawing keeps its own copy of the pass, implicitly shared: no deep copy.
        m_maker->write(path, [pass, i](QIODevice *device, const std::atomic<bool> &cancel) {
            return writeCalibrationCertificate(pass, i, device, cancel);
        });
        paths.append(path);
    }
    return paths;
}

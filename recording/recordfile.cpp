#include "recording/recordfile.h"

#include "recording/recordformat.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

// Far more Starts of one device within one second than an operator can make.
constexpr int MaxCopies = 100;

// Writes `text` as UTF-8, whatever the locale's encoding, and closes the file;
// false when the stream, the flush or the close failed.
bool writeAndClose(QFile &file, const QString &text)
{
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    stream << text;
    stream.flush();
    const bool streamed = stream.status() == QTextStream::Ok;
    file.close();
    return streamed && file.error() == QFileDevice::NoError;
}

// A dangling link occupies a name as much as a file does.
bool isTaken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString createRecordFile(const QString &directory, int address, const QDateTime &named)
{
    for (int copy = 1; copy <= MaxCopies; ++copy) {
        QString path = directory + recordFileName(address, named, copy);
        QFile file(path);
        if (file.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Text)) {
            if (writeAndClose(file, recordHeader()))
                return path;
            // Made just now and without its header: no record, nothing to keep.
            file.remove();
            return QString();
        }
        if (!isTaken(path))
            return QString();
    }
    return QString();
}

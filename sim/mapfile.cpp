#include "mapfile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

namespace sim {

std::optional<RegisterMap> readMapFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read map file %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        *error = QStringLiteral("map file %1 is not a JSON object: %2").arg(path, parseError.errorString());
        return std::nullopt;
    }
    const Result<RegisterMap> map = mapFromJson(document.object());
    if (!map.ok()) {
        *error = QStringLiteral("map file %1: %2").arg(path, map.error());
        return std::nullopt;
    }
    return map.value();
}

} // namespace sim

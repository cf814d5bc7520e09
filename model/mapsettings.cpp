#include "mapsettings.h"

#include "logging.h"
#include "maplibrary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>

namespace {

const char mapsKey[] = "registerMaps/maps";
const char newDeviceMapKey[] = "registerMaps/newDeviceMap";

} // namespace

void restoreMaps(MapLibrary *library, const QSettings &settings)
{
    const QJsonArray kept = QJsonDocument::fromJson(settings.value(QLatin1String(mapsKey)).toByteArray()).array();
    QVector<RegisterMap> maps;
    for (const QJsonValue &value : kept) {
        const Result<RegisterMap> map = mapFromJson(value.toObject());
        if (map.ok())
            maps << map.value();
        else
            qCWarning(lcDiagnostics).noquote() << "a kept register map is left out:" << map.error();
    }
    library->setMaps(maps);
    const QString newDeviceMap = settings.value(QLatin1String(newDeviceMapKey)).toString();
    if (!newDeviceMap.isEmpty())
        library->setNewDeviceMap(newDeviceMap);
}

void saveMaps(const MapLibrary &library, QSettings *settings)
{
    QJsonArray maps;
    for (const RegisterMap &map : library.maps())
        maps.append(mapToJson(map));
    settings->setValue(QLatin1String(mapsKey), QJsonDocument(maps).toJson(QJsonDocument::Compact));
    settings->setValue(QLatin1String(newDeviceMapKey), library.newDeviceMapName());
    // A change is rare and the program may not end tidily: on disk at once.
    settings->sync();
}

void keepMapsInSettings(MapLibrary *library)
{
    auto *settings = new QSettings(QStringLiteral("Velmora"), QStringLiteral("velmora"), library);
    restoreMaps(library, *settings);
    const auto save = [library, settings] { saveMaps(*library, settings); };
    QObject::connect(library, &MapLibrary::mapsChanged, settings, save);
    QObject::connect(library, &MapLibrary::newDeviceMapChanged, settings, save);
}

#include "maplibrary.h"

MapLibrary::MapLibrary(QObject *parent)
    : QObject(parent)
    , m_newDeviceMapName(standardMapName())
{
}

QStringList MapLibrary::names() const
{
    QStringList names{standardMapName()};
    for (const RegisterMap &map : m_maps)
        names << map.name;
    return names;
}

std::optional<RegisterMap> MapLibrary::find(const QString &name) const
{
    if (name == standardMapName())
        return standardMap();
    const int index = indexOf(name);
    if (index < 0)
        return std::nullopt;
    return m_maps.at(index);
}

Result<RegisterMap> MapLibrary::store(const RegisterMap &map)
{
    if (map.name.trimmed().isEmpty())
        return Failure{tr("映射名称不能为空")};
    if (map.name == standardMapName())
        return Failure{tr("\"%1\" 是内置映射的名称").arg(map.name)};
    const QString problem = mapProblem(map);
    if (!problem.isEmpty())
        return Failure{problem};
    const int index = indexOf(map.name);
    if (index < 0)
        m_maps.append(map);
    else if (m_maps.at(index) != map)
        m_maps[index] = map;
    else
        return map;
    emit mapsChanged();
    return map;
}

bool MapLibrary::remove(const QString &name)
{
    const int index = indexOf(name);
    if (index < 0)
        return false;
    m_maps.remove(index);
    emit mapsChanged();
    if (name == m_newDeviceMapName)
        setNewDeviceMap(standardMapName());
    return true;
}

void MapLibrary::setMaps(const QVector<RegisterMap> &maps)
{
    if (maps == m_maps)
        return;
    m_maps = maps;
    emit mapsChanged();
    if (!find(m_newDeviceMapName))
        setNewDeviceMap(standardMapName());
}

RegisterMap MapLibrary::newDeviceMap() const
{
    return find(m_newDeviceMapName).value_or(standardMap());
}

bool MapLibrary::setNewDeviceMap(const QString &name)
{
    if (!find(name))
        return false;
    if (name != m_newDeviceMapName) {
        m_newDeviceMapName = name;
        emit newDeviceMapChanged(name);
    }
    return true;
}

int MapLibrary::indexOf(const QString &name) const
{
    for (int i = 0; i < m_maps.size(); ++i) {
        if (m_maps.at(i).name == name)
            return i;
    }
    return -1;
}

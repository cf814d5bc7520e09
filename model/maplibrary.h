#pragma once

#include "registermap.h"
#include "result.h"

#include <QObject>
#include <QStringList>
#include <QVector>

#include <optional>

// The register maps this bench knows besides the built-in 标准, and the one
// that devices listed from now on (添加到列表, the bus scan) are read with.
// It holds maps only: which device uses which is in each device's record.
class MapLibrary : public QObject
{
    Q_OBJECT

public:
    explicit MapLibrary(QObject *parent = nullptr);

    // The operator's maps in the order they were made; never 标准.
    const QVector<RegisterMap> &maps() const { return m_maps; }
    // 标准 first, then the operator's maps.
    QStringList names() const;
    // The map named `name`, 标准 included; nothing for a name it does not hold.
    std::optional<RegisterMap> find(const QString &name) const;

    // Adds `map`, or replaces the map of the same name in its place. Refused
    // whole, with the reason: 标准's name, an empty name, a map mapProblem()
    // finds fault with.
    Result<RegisterMap> store(const RegisterMap &map);
    // Forgets the map named `name`; 标准 and names it does not hold are left.
    // A forgotten map new devices were to use gives way to 标准.
    bool remove(const QString &name);
    // Takes `maps` in place of every map held (as a device-list file brings
    // them; already checked). The map for new devices stays if still held.
    void setMaps(const QVector<RegisterMap> &maps);

    QString newDeviceMapName() const { return m_newDeviceMapName; }
    RegisterMap newDeviceMap() const;
    // False, and nothing changes, for a name it does not hold.
    bool setNewDeviceMap(const QString &name);

signals:
    // A map was added, replaced or removed.
    void mapsChanged();
    void newDeviceMapChanged(const QString &name);

private:
    int indexOf(const QString &name) const;

    QVector<RegisterMap> m_maps;
    QString m_newDeviceMapName;
};

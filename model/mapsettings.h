#pragma once

class MapLibrary;
class QSettings;

// The operator's register maps and the map for new devices outlive the run:
// they are kept in the program's settings, as JSON like a list file's maps.

// Takes into `library` what `settings` holds; a kept map that no longer
// passes the checks is left out, with a warning in the log.
void restoreMaps(MapLibrary *library, const QSettings &settings);
void saveMaps(const MapLibrary &library, QSettings *settings);

// Restores `library` from the program's own settings and writes them again
// whenever the maps or the map for new devices change.
void keepMapsInSettings(MapLibrary *library);

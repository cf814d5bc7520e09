#pragma once

#include "calibrationresult.h"

#include <atomic>

class QIODevice;

// The calibration certificate of one device of a finished pass, A4, in
// Chinese: its number, date, station, line and operator; the method; the
// reference and its own certificate; the ambient conditions and the
// transmitters' mean temperature; the device and its range and class; the
// table of points (a point without a value in red); the largest error, the
// hysteresis, the test uncertainty ratio, the decision rule and the verdict;
// and a plot of the error in % of span against the reference, the class
// band dashed. Up to 14 points take one page; a longer table goes on over
// the next. Uses QPainter alone, so it may be drawn on any thread; false
// when `deviceIndex` names no device, the device could not be written or
// `cancel` was set.
bool writeCalibrationCertificate(const CalibrationResult &pass, int deviceIndex, QIODevice *device,
                                 const std::atomic<bool> &cancel);

// Pages the certificate of a device with `points` points takes.
int calibrationCertificatePageCount(int points);

#pragma once

// Figures shared by the benchmarks of lines over the loopback: percentiles of
// transaction times, reads through a line's own framing, and the poll cycle
// of the real window.

#include "inputregisters.h"
#include "itemdata.h"
#include "mainwindow.h"
#include "registertransport.h"
#include "serialdevice.h"
#include "tcpconnection.h"

#include "common/windowaccess.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>

#include <algorithm>
#include <vector>

inline double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

inline double median(const std::vector<double> &values)
{
    return percentile(values, 0.5);
}

inline std::vector<double> differencesMs(const std::vector<qint64> &stampsNs)
{
    std::vector<double> differences;
    for (size_t i = 1; i < stampsNs.size(); ++i)
        differences.push_back(double(stampsNs[i] - stampsNs[i - 1]) / 1e6);
    return differences;
}

inline void runEventLoop(int seconds)
{
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
}

// The median cycle of the window polling devices 1..`devices` at `address`
// for `seconds`: from one record of the first device to its next.
inline double windowCycleMs(const QString &address, int devices, int seconds)
{
    MainWindow window;
    window.show();
    openPort(window, address);
    for (int device = 1; device <= devices; ++device)
        addDevice(window, device);
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> firstDevice;
    const QObject scope;
    QObject::connect(deviceModel(window), &QAbstractItemModel::dataChanged, &scope,
                     [&](const QModelIndex &topLeft, const QModelIndex &, const QVector<int> &roles) {
                         if (topLeft.row() == 0 && roles.contains(ItemDataRole))
                             firstDevice.push_back(clock.nsecsElapsed());
                     });
    clickStart(window, QString());
    runEventLoop(seconds);
    widget<QPushButton>(window, "btnStop")->click();
    widget<QPushButton>(window, "btnOpen")->click();
    waitForPollCycleEnd(window);
    return median(differencesMs(firstDevice));
}

// `samples` reads of devices 1..`devices` in turn through the line's framing
// `Transport`, on a socket libmodbus connected to `port` of the loopback: the
// times of those answered.
template <typename Transport>
std::vector<double> lineTransactionTimesMs(const QByteArray &port, int devices, int samples)
{
    std::vector<double> times;
    QString reason;
    modbus_t *context = connectTcp("127.0.0.1", port, 1, &reason);
    if (!context)
        return times;
    {
        Transport transport(modbus_get_socket(context));
        InputRegisters registers{};
        for (int sample = 0; sample < samples; ++sample) {
            QElapsedTimer clock;
            clock.start();
            if (transport.readInputRegisters(1 + sample % devices, 1000, registers) == TransactionOutcome::Answered)
                times.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
    }
    releaseContext(context);
    return times;
}

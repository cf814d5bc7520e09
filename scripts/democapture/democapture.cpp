// Drives the real window through a demo session — a device list opened with
// Ctrl+O, port, devices, Start with a record folder — waits until red, green and yellow lamps are all shown, and
// saves a picture of the window; then, if asked, opens one device's trend
// window, lets it fill and saves a picture of that too. Used to make the
// README's pictures.
#include "mainwindow.h"
#include "itemdata.h"
#include "tilelayout.h"
#include "common/windowaccess.h"
#include "trendrecorder.h"
#include "trendwindow.h"
#include "trendwindows.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QSet>

#include <cstdio>

namespace {

void wait(int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

QSet<int> shownStatuses(const MainWindow &window)
{
    QSet<int> statuses;
    const QAbstractItemModel *model = listView(window)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        statuses.insert(model->index(row, 0).data(StatusRole).toInt());
    return statuses;
}

// "address:unit:decimals:period"
bool addDeviceSpec(const MainWindow &window, const QString &spec)
{
    const QStringList parts = spec.split(QLatin1Char(':'));
    if (parts.size() != 4)
        return false;
    addDevice(window, parts.at(0).toInt(), parts.at(1), parts.at(2).toInt(), parts.at(3).toInt());
    return true;
}

// Opens the device list `path` with Ctrl+O, as the operator does.
bool openList(MainWindow &window, const QString &path)
{
    const ModalAnswer<QFileDialog> answer([path](QFileDialog *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog *>(dialog)->accept();
    });
    QApplication::setActiveWindow(&window);
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    return answer.answered();
}

// Each tile's lines as it paints them, the map's name when it is not 标准.
void printTiles(const MainWindow &window)
{
    for (int row = 0; row < deviceModel(window)->rowCount(); ++row) {
        const ItemData record = recordAt(window, row);
        QStringList lines{addressText(record), statisticsText(record)};
        if (record.map.name != standardMapName())
            lines << QStringLiteral("映射：%1").arg(record.map.name);
        lines << pressureLineText(record) << temperatureLineText(record);
        std::printf("%s\n", qPrintable(lines.join(QStringLiteral(" | "))));
    }
}

int rowOfAddress(const MainWindow &window, int address)
{
    for (int row = 0; row < deviceModel(window)->rowCount(); ++row) {
        if (recordAt(window, row).address == address)
            return row;
    }
    return -1;
}

// Opens the trend of `address`, waits `seconds` while it fills and saves it.
bool saveTrend(const MainWindow &window, int address, int seconds, const QString &output)
{
    const int row = rowOfAddress(window, address);
    if (row < 0)
        return false;
    doubleClickTile(window, row);
    TrendWindow *trend = window.findChild<TrendWindows *>()->windowFor(deviceModel(window)->item(row));
    if (!trend)
        return false;
    trend->move(40, 40);
    wait(seconds * 1000);
    return trend->grab().save(output);
}

int fail(const char *message)
{
    std::fprintf(stderr, "democapture: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption portOption("port", "Serial device to open.", "PATH");
    const QCommandLineOption listOption("list", "Device list to open with Ctrl+O before the port.", "FILE");
    const QCommandLineOption tilesOption("tiles", "Print every tile's text at the end.");
    const QCommandLineOption deviceOption("device", "Device as address:unit:decimals:period (repeatable).", "SPEC");
    const QCommandLineOption recordOption("record-dir", "Folder chosen at Start.", "DIR");
    const QCommandLineOption outputOption("output", "Picture to write (PNG).", "FILE");
    const QCommandLineOption timeoutOption("timeout", "Seconds to wait for all three lamp colours.", "S", "90");
    const QCommandLineOption trendOutputOption("trend-output", "Picture of a trend window to write (PNG).", "FILE");
    const QCommandLineOption trendDeviceOption("trend-device", "Address whose trend is pictured.", "ADDR", "4");
    const QCommandLineOption trendSecondsOption("trend-seconds", "Seconds the trend fills before its picture.", "S",
                                                "90");
    parser.addOptions({portOption, listOption, tilesOption, deviceOption, recordOption, outputOption, timeoutOption, trendOutputOption,
                       trendDeviceOption, trendSecondsOption});
    parser.process(application);
    if (!parser.isSet(portOption) || !parser.isSet(outputOption) || !parser.isSet(recordOption))
        return fail("--port, --record-dir and --output are required");

    MainWindow window;
    window.setWindowTitle(QStringLiteral("Velmora"));
    window.show();
    wait(300);

    if (parser.isSet(listOption) && !openList(window, parser.value(listOption)))
        return fail("the device list's dialog did not appear");
    if (!openPort(window, parser.value(portOption)))
        return fail("the port did not open");

    for (const QString &spec : parser.values(deviceOption)) {
        if (!addDeviceSpec(window, spec))
            return fail("a device is not address:unit:decimals:period");
    }

    if (!clickStart(window, parser.value(recordOption)))
        return fail("Start showed no directory dialog");

    const QDeadlineTimer deadline(parser.value(timeoutOption).toInt() * 1000);
    const QSet<int> wanted = {Offline, Good, Poor};
    while (!deadline.hasExpired() && !shownStatuses(window).contains(wanted))
        wait(200);
    // A last cycle so that the tiles show settled counts.
    wait(1500);

    const bool saved = window.grab().save(parser.value(outputOption));
    const bool trendSaved = !parser.isSet(trendOutputOption)
        || saveTrend(window, parser.value(trendDeviceOption).toInt(), parser.value(trendSecondsOption).toInt(),
                     parser.value(trendOutputOption));
    widget<QPushButton>(window, "btnStop")->click();
    widget<QPushButton>(window, "btnOpen")->click();
    if (parser.isSet(tilesOption))
        printTiles(window);
    if (!saved)
        return fail("the picture could not be written");
    if (!trendSaved)
        return fail("the trend picture could not be written");
    if (!shownStatuses(window).contains(wanted))
        return fail("not every lamp colour showed in time (picture saved anyway)");
    return 0;
}

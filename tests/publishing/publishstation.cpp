// A station that publishes and does nothing else, for the test that kills it:
// the program's own link to the broker, without a window.
//   publishstation <broker url> <station> <prefix>
// Prints "connected" once the broker accepted it.
#include "brokerlink.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    PublishSettings settings;
    settings.broker = args.at(1);
    settings.station = args.at(2);
    settings.topicPrefix = args.at(3);
    BrokerLink link(settings, QStringLiteral("session"), QStringLiteral("/dev/ttyUSB0"));
    QObject::connect(&link, &BrokerLink::stateChanged, &app, [](int state) {
        if (state == BrokerLink::Connected) {
            std::puts("connected");
            std::fflush(stdout);
        }
    });
    link.start();
    return app.exec();
}

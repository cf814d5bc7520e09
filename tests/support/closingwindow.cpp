// The Velmora window with one of its threads held, closed: what the closing
// test and benchmark time, from the line "closing <steady clock ms>" on
// standard output to the process's exit.
//
//   velmora-closingwindow line <port box text> <close after ms>
//   velmora-closingwindow broker <mqtt://host:port> <close after ms>
//
// With VELMORA_SLOW_LOOKUP_HOST and VELMORA_SLOW_LOOKUP_MS set, every name
// lookup of that host hangs that long and then fails, as with a name server
// that never answers: the line's, libmodbus's and the MQTT library's lookups
// all come here.

#include "application.h"
#include "mainwindow.h"
#include "publisher.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <dlfcn.h>
#include <netdb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern "C" int getaddrinfo(const char *node, const char *service, const struct addrinfo *hints,
                           struct addrinfo **result)
{
    const char *slowHost = std::getenv("VELMORA_SLOW_LOOKUP_HOST");
    const char *delay = std::getenv("VELMORA_SLOW_LOOKUP_MS");
    if (node && slowHost && delay && std::strcmp(node, slowHost) == 0) {
        const long ms = std::atol(delay);
        timespec pause{ms / 1000, (ms % 1000) * 1000000};
        while (nanosleep(&pause, &pause) == -1) {
        }
        return EAI_AGAIN;
    }
    using Lookup = int (*)(const char *, const char *, const struct addrinfo *, struct addrinfo **);
    static const auto next = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return next(node, service, hints, result);
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: velmora-closingwindow line|broker <address> <close after ms>\n");
        return 2;
    }
    const QString what = QString::fromLocal8Bit(argv[1]);
    const QString address = QString::fromLocal8Bit(argv[2]);
    const int closeAfterMs = std::atoi(argv[3]);

    return runVelmora(application, [&](MainWindow &window) {
        if (what == QLatin1String("line")) {
            window.findChild<QComboBox *>(QStringLiteral("cboxPortName"))->setEditText(address);
            window.findChild<QPushButton *>(QStringLiteral("btnOpen"))->click();
        } else {
            auto *publisher = window.findChild<Publisher *>(QStringLiteral("publisher"));
            PublishSettings settings = publisher->settings();
            settings.broker = address;
            publisher->start(settings);
        }
        QTimer::singleShot(closeAfterMs, &window, [&window] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::printf("closing %lld\n",
                        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
            std::fflush(stdout);
            window.close();
        });
    });
}

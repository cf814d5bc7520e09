#pragma once

#include "mainwindow.h"
#include "devicerecords.h"
#include "recordformat.h"

#include "common/modalanswer.h"
#include "common/quietline.h"
#include "common/windowaccess.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

// Opens the port on a line where nothing answers, or closes it, as the
// operator's click does.
inline void setPortOpen(const MainWindow &window, bool open)
{
    static const QuietLine line;
    if (open == portIsOpen(window))
        return;
    if (open)
        QVERIFY(openPort(window, line.path()));
    else
        QTest::mouseClick(widget<QPushButton>(window, "btnOpen"), Qt::LeftButton);
    QCOMPARE(portIsOpen(window), open);
}

// The test drives the record ticks itself, one invocation per second of recording.
inline void holdTimers(const MainWindow &window)
{
    pollTimer(window)->stop();
    recordTimer(window)->stop();
}

// Each tick's rows are on disk, or reported lost, when it returns.
inline void recordTicks(MainWindow &window, int count)
{
    for (int i = 0; i < count; ++i) {
        QVERIFY(QMetaObject::invokeMethod(&window, "saved_process"));
        QVERIFY(waitForRecordWrites(window));
    }
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// The data rows of a record file, each split into its fields (the empty text
// after the last comma dropped); empty when the header is not the first line.
inline QList<QStringList> dataRows(const QString &path)
{
    QList<QStringList> rows;
    QList<QByteArray> lines = fileBytes(path).split('\n');
    if (lines.isEmpty() || lines.takeFirst() + '\n' != recordHeader().toUtf8())
        return rows;
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        QStringList fields = QString::fromUtf8(line).split(QLatin1Char(','));
        fields.removeLast();
        rows << fields;
    }
    return rows;
}

// Stores readings in a device's record as a poll that answered would.
inline void storeReadings(const MainWindow &window, int row, const QString &pressure, const QString &temperature)
{
    ItemData record = recordAt(window, row);
    record.pressureText = pressure;
    record.temperatureText = temperature;
    writeStatus(deviceModel(window), row, Good);
    writeRecord(deviceModel(window), row, record);
}

inline QStringList filesIn(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files, QDir::Name);
}

// Every modal box shown while it lives, answered with OK; `onBox` sees each
// box before it is closed.
class MessageBoxLog
{
public:
    struct Entry
    {
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };

    explicit MessageBoxLog(std::function<void(QMessageBox *)> onBox = nullptr)
        : m_onBox(std::move(onBox))
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            m_entries.append({box->windowTitle(), box->text(), box->standardButtons()});
            if (m_onBox)
                m_onBox(box);
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        });
        m_timer.start();
    }

    QList<Entry> entries() const { return m_entries; }

private:
    std::function<void(QMessageBox *)> m_onBox;
    QList<Entry> m_entries;
    QTimer m_timer;
};

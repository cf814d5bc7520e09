#pragma once

#include "app/mainwindow.h"
#include "devices/devicerecords.h"
#include "recording/recordformat.h"

#include "tests/common/modalanswer.h"
#include "tests/common/windowaccess.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

// The program learns the port state only from btnOpen's caption.
inline void setPortCaption(const MainWindow &window, bool open)
{
    widget<QPushButton>(window, "btnOpen")->setText(open ? QStringLiteral("关闭串口") : QStringLiteral("打开串口"));
}

// The window's own timers, in the order it creates them.
inline QTimer *pollTimer(const MainWindow &window)
{
    return window.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly).value(0);
}

inline QTimer *recordTimer(const MainWindow &window)
{
    return window.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly).value(1);
}

// Chooses `directory` in the directory dialog, as the operator's OK does:
// QFileDialog's own accept() checks the choice.
inline void chooseDirectory(QFileDialog *dialog, const QString &directory)
{
    dialog->setDirectory(directory);
    static_cast<QDialog *>(dialog)->accept();
}

// Clicks Start and answers the directory dialog with `answer`; false when no
// dialog appeared.
inline bool clickStart(const MainWindow &window, std::function<void(QFileDialog *)> answer)
{
    ModalAnswer<QFileDialog> dialog(std::move(answer));
    QTest::mouseClick(widget<QPushButton>(window, "btnStart"), Qt::LeftButton);
    return dialog.answered();
}

inline bool startRecording(const MainWindow &window, const QString &directory)
{
    return clickStart(window, [&](QFileDialog *dialog) { chooseDirectory(dialog, directory); });
}

// The test drives the record ticks itself, one invocation per second of recording.
inline void holdTimers(const MainWindow &window)
{
    pollTimer(window)->stop();
    recordTimer(window)->stop();
}

inline void recordTicks(MainWindow &window, int count)
{
    for (int i = 0; i < count; ++i)
        QVERIFY(QMetaObject::invokeMethod(&window, "saved_process"));
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

inline ItemData recordOf(const MainWindow &window, int row)
{
    return readRecord(deviceModel(window), row);
}

// Stores readings in a device's record as the poll cycle would.
inline void storeReadings(const MainWindow &window, int row, const QString &pressure, const QString &temperature)
{
    ItemData record = recordOf(window, row);
    record.pressureText = pressure;
    record.temperatureText = temperature;
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

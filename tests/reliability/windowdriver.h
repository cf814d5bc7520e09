#pragma once

#include "app/mainwindow.h"
#include "devices/devicerecords.h"

#include "tests/common/modalanswer.h"
#include "tests/common/windowaccess.h"

#include <QComboBox>
#include <QFileDialog>
#include <QPushButton>
#include <QtTest>

// The window driven as the operator drives it, for runs against a real line.

inline QPushButton *button(const MainWindow &window, const char *name)
{
    return widget<QPushButton>(window, name);
}

inline void clickButton(const MainWindow &window, const char *name)
{
    QTest::mouseClick(button(window, name), Qt::LeftButton);
}

inline bool portIsOpen(const MainWindow &window)
{
    return button(window, "btnOpen")->text() == QStringLiteral("关闭串口");
}

// Types `path` into the port box and clicks the open button; true when the
// port is open afterwards.
inline bool openPort(const MainWindow &window, const QString &path)
{
    widget<QComboBox>(window, "cboxPortName")->setEditText(path);
    clickButton(window, "btnOpen");
    return portIsOpen(window);
}

// Clicks Start and answers the directory dialog with `directory`, or cancels
// it when `directory` is empty, which polls without recording. False when no
// dialog came up.
inline bool clickStart(const MainWindow &window, const QString &directory)
{
    const ModalAnswer<QFileDialog> answer([directory](QFileDialog *dialog) {
        if (directory.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->setDirectory(directory);
        // Takes the dialog's current directory, as OK does with nothing selected.
        static_cast<QDialog *>(dialog)->accept();
    });
    clickButton(window, "btnStart");
    return answer.answered();
}

inline ItemData recordAt(const MainWindow &window, int row)
{
    return readRecord(deviceModel(window), row);
}

inline int statusAt(const MainWindow &window, int row)
{
    return deviceModel(window)->index(row, 0).data(StatusRole).toInt();
}

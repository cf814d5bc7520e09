#pragma once

#include "mainwindow.h"
#include "devicerecords.h"

#include "common/modalanswer.h"
#include "common/windowaccess.h"

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


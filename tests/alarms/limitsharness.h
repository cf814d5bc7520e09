#pragma once

#include "mainwindow.h"
#include "limitsdialog.h"

#include "acquisition/pollharness.h"
#include "common/windowaccess.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

// Opens the tile area's context menu on the tile of a source row, or on the
// empty area for row -1, and clicks the action `name`.
inline bool chooseFromTileMenu(const MainWindow &window, int row, const char *name)
{
    QListView *view = listView(window);
    view->doItemsLayout();
    const QPoint at = row >= 0
        ? view->visualRect(proxyModel(window)->mapFromSource(deviceModel(window)->index(row, 0))).center()
        : view->viewport()->rect().bottomRight() - QPoint(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &event);
    auto *menu = window.findChild<QMenu *>(QStringLiteral("deviceListMenu"));
    auto *action = window.findChild<QAction *>(QLatin1String(name));
    if (!menu || !menu->isVisible() || !action || !action->isVisible() || !menu->actions().contains(action))
        return false;
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
    return !menu->isVisible();
}

// The six fields of the limits dialog in order: pressure low, high, dead
// band, temperature low, high, dead band.
inline const char *const limitFieldNames[6] = {"pressureLow",    "pressureHigh",    "pressureDeadband",
                                               "temperatureLow", "temperatureHigh", "temperatureDeadband"};

// Sets a device's limits as the operator does: 限值设置… on its tile, the
// fields typed, OK. Returns the dialog's complaint, empty when it took them.
inline QString setLimitsFromMenu(const MainWindow &window, int row, const QStringList &texts)
{
    if (!chooseFromTileMenu(window, row, "limitsAction"))
        return QStringLiteral("no 限值设置… on the tile");
    auto *dialog = window.findChild<LimitsDialog *>(QStringLiteral("limitsDialog"));
    if (!dialog || !dialog->isVisible())
        return QStringLiteral("no limits dialog");
    for (int i = 0; i < 6; ++i) {
        auto *field = dialog->findChild<QLineEdit *>(QLatin1String(limitFieldNames[i]));
        field->selectAll();
        QTest::keyClicks(field, texts.value(i));
        if (texts.value(i).isEmpty())
            field->clear();
    }
    QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    if (!dialog->isVisible()) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return QString();
    }
    const QString problem = dialog->findChild<QLabel *>(QStringLiteral("limitsProblem"))->text();
    dialog->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return problem;
}

// The lines of a file after its header, each split into fields without the
// empty one after the last comma; `header` is checked first.
inline QList<QStringList> csvRows(const QString &path, const QString &header)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.isEmpty() || lines.takeFirst() + '\n' != header.toUtf8())
        return {};
    QList<QStringList> rows;
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        QStringList fields = QString::fromUtf8(line).split(QLatin1Char(','));
        if (fields.takeLast() != QString())
            return {};
        rows << fields;
    }
    return rows;
}

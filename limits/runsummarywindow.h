#pragma once

#include <QVector>
#include <QWidget>

class DeviceRunSummary;
class QLabel;
class QTableWidget;

// The summary of a recording as a sortable table, 不合格 rows marked; a
// window of its own beside the main window.
class RunSummaryWindow : public QWidget
{
    Q_OBJECT

public:
    explicit RunSummaryWindow(QWidget *parent = nullptr);

    // The summaries as they stand, with how long the line was lost in a run
    // of `runMs`, and whether that failed every device.
    void present(const QVector<DeviceRunSummary> &summaries, qint64 lineLostMs, qint64 runMs, bool lineFailed);
    QTableWidget *table() const { return m_table; }
    QLabel *lineText() const { return m_line; }

private:
    QLabel *m_line;
    QTableWidget *m_table;
};

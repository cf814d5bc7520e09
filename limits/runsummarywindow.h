#pragma once

#include <QVector>
#include <QWidget>

class DeviceRunSummary;
class QTableWidget;

// The summary of a recording as a sortable table, 不合格 rows marked; a
// window of its own beside the main window.
class RunSummaryWindow : public QWidget
{
    Q_OBJECT

public:
    explicit RunSummaryWindow(QWidget *parent = nullptr);

    // A run still going is shown as it stands now.
    void present(const QVector<DeviceRunSummary> &summaries, bool running);
    QTableWidget *table() const { return m_table; }

private:
    QTableWidget *m_table;
};

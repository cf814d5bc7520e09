#pragma once

#include <QVector>
#include <QWidget>

struct RunOutcome;
class QLabel;
class QTableWidget;

// The summary of a recording as a sortable table, 不合格 rows marked; a
// window of its own beside the main window.
class RunSummaryWindow : public QWidget
{
    Q_OBJECT

public:
    explicit RunSummaryWindow(QWidget *parent = nullptr);

    // The summaries as they stand, with how long the line was lost.
    void present(const RunOutcome &outcome);
    QTableWidget *table() const { return m_table; }
    QLabel *lineText() const { return m_line; }

private:
    QLabel *m_line;
    QTableWidget *m_table;
};

// Shows `outcome` in the window's summary window, made the first time.
void presentRunSummary(QWidget *window, const RunOutcome &outcome);

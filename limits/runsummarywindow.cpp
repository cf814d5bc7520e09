#include "limits/runsummarywindow.h"

#include "limits/alarmformat.h"
#include "limits/runsummary.h"

#include <QDateTime>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// Numbers sort as numbers; an empty field (no reading) sorts first.
class SummaryItem : public QTableWidgetItem
{
public:
    explicit SummaryItem(const QString &text)
        : QTableWidgetItem(text)
    {
    }

    bool operator<(const QTableWidgetItem &other) const override
    {
        bool mine = false;
        bool theirs = false;
        const double a = text().toDouble(&mine);
        const double b = other.text().toDouble(&theirs);
        if (mine && theirs)
            return a < b;
        if (mine != theirs)
            return theirs;
        return text() < other.text();
    }
};

} // namespace

RunSummaryWindow::RunSummaryWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_table(new QTableWidget(this))
{
    setObjectName(QStringLiteral("runSummaryWindow"));
    setWindowTitle(tr("本次汇总"));
    m_table->setObjectName(QStringLiteral("runSummaryTable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    resize(1100, 400);
}

void RunSummaryWindow::present(const QVector<DeviceRunSummary> &summaries, bool running)
{
    const QStringList columns = summaryColumns();
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    m_table->setSortingEnabled(false);
    m_table->clear();
    m_table->setColumnCount(columns.size());
    m_table->setHorizontalHeaderLabels(columns);
    m_table->setRowCount(summaries.size());
    for (int row = 0; row < summaries.size(); ++row) {
        DeviceRunSummary summary = summaries.at(row);
        if (running)
            summary.finish(nowMs);
        const QStringList fields = summary.fields();
        for (int column = 0; column < fields.size(); ++column) {
            auto *item = new SummaryItem(fields.at(column));
            if (!summary.passed())
                item->setBackground(QColor(255, 205, 205));
            m_table->setItem(row, column, item);
        }
    }
    m_table->setSortingEnabled(true);
    m_table->resizeColumnsToContents();
    show();
    raise();
}

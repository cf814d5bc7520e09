#include "runsummarywindow.h"

#include "alarmformat.h"
#include "runsummary.h"
#include "runverdict.h"

#include <QHeaderView>
#include <QLabel>
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
    , m_line(new QLabel(this))
    , m_table(new QTableWidget(this))
{
    setObjectName(QStringLiteral("runSummaryWindow"));
    setWindowTitle(tr("本次汇总"));
    m_table->setObjectName(QStringLiteral("runSummaryTable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_line->setObjectName(QStringLiteral("runSummaryLine"));
    m_line->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_line);
    layout->addWidget(m_table);
    resize(1100, 400);
}

void RunSummaryWindow::present(const RunOutcome &outcome)
{
    const QVector<DeviceRunSummary> &summaries = outcome.devices;
    const qint64 lineLostMs = outcome.lineLostMs;
    const qint64 runMs = outcome.runMs;
    const bool lineFailed = outcome.failedForLine;
    const double lostSeconds = double(lineLostMs) / 1000.0;
    const double lostShare = runMs > 0 ? 100.0 * double(lineLostMs) / double(runMs) : 0.0;
    QString line = tr("本次线路中断共 %1 秒，占运行时长的 %2 %。")
                       .arg(QString::number(lostSeconds, 'f', 1), QString::number(lostShare, 'f', 1));
    if (lineFailed)
        line += tr("线路中断超过运行时长的 5 %，全部设备判为不合格。");
    m_line->setText(line);

    const QStringList columns = summaryColumns();
    m_table->setSortingEnabled(false);
    m_table->clear();
    m_table->setColumnCount(columns.size());
    m_table->setHorizontalHeaderLabels(columns);
    m_table->setRowCount(summaries.size());
    for (int row = 0; row < summaries.size(); ++row) {
        const DeviceRunSummary &summary = summaries.at(row);
        const QStringList fields = summary.fields();
        for (int column = 0; column < fields.size(); ++column) {
            auto *item = new SummaryItem(fields.at(column));
            if (!summary.passed())
                item->setBackground(QColor(255, 205, 205));
            m_table->setItem(row, column, item);
        }
    }
    // The verdict is what the table is opened for: shown beside the address,
    // whatever the window's width; the columns keep the file's order.
    QHeaderView *header = m_table->horizontalHeader();
    const int verdict = columns.size() - 1;
    if (header->visualIndex(verdict) != 1)
        header->moveSection(header->visualIndex(verdict), 1);
    m_table->setSortingEnabled(true);
    m_table->resizeColumnsToContents();
    show();
    raise();
}

void presentRunSummary(QWidget *window, const RunOutcome &outcome)
{
    auto *summary = window->findChild<RunSummaryWindow *>(QStringLiteral("runSummaryWindow"));
    if (!summary)
        summary = new RunSummaryWindow(window);
    summary->present(outcome);
}

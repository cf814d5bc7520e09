#include "trendwindow.h"

#include "trendchartview.h"
#include "trendrecorder.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

TrendWindow::TrendWindow(const DeviceTrend &trend, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_trend(trend)
    , m_chart(new TrendChartView(trend, this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("设备地址%1 趋势").arg(trend.address));
    m_chart->setObjectName(QStringLiteral("trendChart"));

    auto *everything = new QPushButton(tr("全部"), this);
    everything->setObjectName(QStringLiteral("btnTrendAll"));
    everything->setToolTip(tr("显示添加设备以来的全部数据并跟随最新读数（也可在图上双击）"));
    connect(everything, &QPushButton::clicked, m_chart, &TrendChartView::showEverything);

    auto *save = new QPushButton(tr("保存图片"), this);
    save->setObjectName(QStringLiteral("btnTrendSave"));
    connect(save, &QPushButton::clicked, this, &TrendWindow::askAndSave);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(everything);
    buttons->addWidget(save);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_chart);
    layout->addLayout(buttons);
    resize(960, 540);
}

void TrendWindow::refresh()
{
    m_chart->refresh();
}

bool TrendWindow::savePicture(const QString &path) const
{
    return m_chart->grab().save(path, "PNG");
}

void TrendWindow::askAndSave()
{
    const QString suggested = QDir::home().filePath(tr("设备地址%1_趋势.png").arg(m_trend.address));
    QString path = QFileDialog::getSaveFileName(this, tr("保存趋势图"), suggested, tr("PNG 图片 (*.png)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        path += QLatin1String(".png");
    if (!savePicture(path))
        QMessageBox::warning(this, tr("提示"), tr("图片无法保存：%1").arg(path), QMessageBox::Ok);
}

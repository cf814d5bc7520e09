#include "reportactions.h"

#include "reportmaker.h"
#include "runreporting.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>

ReportActions::ReportActions(QWidget *window, QMenu *menu, RunReporting *reporting)
    : QObject(window)
    , m_window(window)
    , m_reporting(reporting)
{
    setObjectName(QStringLiteral("reportActions"));
    auto *action = new QAction(tr("生成报告…"), this);
    action->setObjectName(QStringLiteral("reportAction"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, &ReportActions::makeReport);
    menu->addAction(action);
    // The shortcut works without the menu open.
    window->addAction(action);
    connect(reporting->maker(), &ReportMaker::written, this, [this](const QString &path) { m_asked.remove(path); });
    connect(reporting->maker(), &ReportMaker::failed, this, &ReportActions::failed);
}

void ReportActions::makeReport()
{
    if (!m_reporting->hasRun()) {
        auto *box = new QMessageBox(QMessageBox::Information, tr("生成报告"), tr("尚未开始过运行，没有可生成报告的内容。"),
                                    QMessageBox::Ok, m_window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    QString path = QFileDialog::getSaveFileName(m_window, tr("生成报告"), m_reporting->suggestedPath(),
                                                tr("PDF 文件 (*.pdf)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path += QLatin1String(".pdf");
    m_asked.insert(path);
    m_reporting->writeTo(path);
}

void ReportActions::failed(const QString &path, const QString &reason)
{
    if (!m_asked.remove(path))
        return;
    auto *box = new QMessageBox(QMessageBox::Warning, tr("生成报告"), tr("报告无法保存：%1\n%2").arg(path, reason),
                                QMessageBox::Ok, m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

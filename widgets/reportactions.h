#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QMenu;
class QWidget;
class RunReporting;

// 生成报告… in the tile area's menu and on Ctrl+P: the report of the current
// run as it stands, or of the last one, saved where the operator chooses.
class ReportActions : public QObject
{
    Q_OBJECT

public:
    ReportActions(QWidget *window, QMenu *menu, RunReporting *reporting);

    void makeReport();

private:
    void failed(const QString &path, const QString &reason);

    QWidget *const m_window;
    RunReporting *const m_reporting;
    // Reports asked for here, whose failure the operator is told.
    QSet<QString> m_asked;
};

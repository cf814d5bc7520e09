#include "writelosses.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

WriteLosses::File &WriteLosses::file(const QString &path)
{
    if (!files.contains(path))
        order << path;
    return files[path];
}

bool WriteLosses::lost(const QString &path, int rows, bool mayBeTorn)
{
    File &lossy = file(path);
    lossy.shown = true;
    bool news = false;
    if (!lossy.losing) {
        // A new stretch of losses: the count starts again.
        lossy.losing = true;
        lossy.lostRows = 0;
        news = true;
    }
    lossy.lostRows += rows;
    if (mayBeTorn && !lossy.mayBeTorn) {
        lossy.mayBeTorn = true;
        news = true;
    }
    return news;
}

bool WriteLosses::refused(const QString &path)
{
    const bool news = lost(path, 1, false);
    files[path].atBound = true;
    return news;
}

void WriteLosses::accepted(const QString &path)
{
    const auto found = files.find(path);
    if (found != files.end())
        found->atBound = false;
}

bool WriteLosses::written(const QString &path)
{
    const auto found = files.find(path);
    // Rows taken in before the bound was reached are no news while rows are
    // still refused.
    if (found == files.end() || !found->losing || found->atBound)
        return false;
    found->losing = false;
    return true;
}

bool WriteLosses::cutBack(const QString &path, bool done)
{
    File &cut = file(path);
    cut.shown = true;
    bool &flag = done ? cut.cutBack : cut.mayBeTorn;
    const bool news = !flag;
    flag = true;
    return news;
}

bool WriteLosses::settled(const QString &path)
{
    const auto found = files.find(path);
    if (found == files.end() || !found->earlier)
        return false;
    found->earlier = false;
    found->done = true;
    found->losing = false;
    found->atBound = false;
    return found->shown;
}

void WriteLosses::newRecording(const QStringList &stillWaiting)
{
    for (auto file = files.begin(); file != files.end();) {
        if (stillWaiting.contains(file.key())) {
            ++file;
        } else {
            order.removeOne(file.key());
            file = files.erase(file);
        }
    }
    for (const QString &path : stillWaiting)
        file(path).earlier = true;
}

bool WriteLosses::isEarlier(const QString &path) const
{
    return files.value(path).earlier;
}

void WriteLosses::forgetSettled()
{
    for (auto file = files.begin(); file != files.end();) {
        if (file->losing || file->earlier) {
            file->mayBeTorn = false;
            file->cutBack = false;
            file->shown = file->losing;
            ++file;
        } else {
            order.removeOne(file.key());
            file = files.erase(file);
        }
    }
}

QString WriteLosses::text() const
{
    QStringList losing;
    QStringList resumed;
    QStringList done;
    QStringList torn;
    QStringList cut;
    for (const QString &path : order) {
        const File &file = files.value(path);
        if (!file.shown)
            continue;
        const QString lostText = tr("%1（丢失 %2 行）").arg(path).arg(file.lostRows);
        if (file.done)
            done << lostText;
        else if (file.losing)
            losing << (file.atBound ? tr("%1（待写入的行已达上限，新的行无法排队）").arg(path) : path);
        else if (file.lostRows > 0)
            resumed << lostText;
        if (file.mayBeTorn)
            torn << path;
        if (file.cutBack)
            cut << path;
    }
    QStringList sections;
    if (!losing.isEmpty())
        sections << tr("以下记录文件无法写入，记录数据正在丢失：\n%1").arg(losing.join(QLatin1Char('\n')));
    if (!resumed.isEmpty())
        sections << tr("以下记录文件已恢复写入：\n%1").arg(resumed.join(QLatin1Char('\n')));
    if (!done.isEmpty())
        sections << tr("上一次记录的以下文件已处理完剩余的行：\n%1").arg(done.join(QLatin1Char('\n')));
    if (!cut.isEmpty())
        sections << tr("以下记录文件关闭时出错，未确认写入的行已截去，文件截回到最后一行完整数据：\n%1")
                        .arg(cut.join(QLatin1Char('\n')));
    if (!torn.isEmpty())
        sections << tr("以下记录文件无法截回写入失败前的长度，可能含有一行不完整的数据：\n%1")
                        .arg(torn.join(QLatin1Char('\n')));
    return sections.join(QStringLiteral("\n\n"));
}

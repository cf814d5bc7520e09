#include "recording/writelosses.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

bool WriteLosses::lost(const QString &path, int rows, bool mayBeTorn)
{
    if (!files.contains(path))
        order << path;
    File &file = files[path];
    bool news = false;
    if (!file.losing) {
        // A new stretch of losses: the count starts again.
        file.losing = true;
        file.lostRows = 0;
        news = true;
    }
    file.lostRows += rows;
    if (mayBeTorn && !file.mayBeTorn) {
        file.mayBeTorn = true;
        news = true;
    }
    return news;
}

bool WriteLosses::written(const QString &path)
{
    const auto found = files.find(path);
    if (found == files.end() || !found->losing)
        return false;
    found->losing = false;
    return true;
}

void WriteLosses::forgetSettled()
{
    for (auto file = files.begin(); file != files.end();) {
        if (file->losing) {
            file->mayBeTorn = false;
            ++file;
        } else {
            order.removeOne(file.key());
            file = files.erase(file);
        }
    }
}

void WriteLosses::forgetAll()
{
    files.clear();
    order.clear();
}

bool WriteLosses::isEmpty() const
{
    return files.isEmpty();
}

QString WriteLosses::text() const
{
    QStringList losing;
    QStringList resumed;
    QStringList torn;
    for (const QString &path : order) {
        const File &file = files.value(path);
        if (file.losing)
            losing << path;
        else
            resumed << tr("%1（丢失 %2 行）").arg(path).arg(file.lostRows);
        if (file.mayBeTorn)
            torn << path;
    }
    QStringList sections;
    if (!losing.isEmpty())
        sections << tr("以下记录文件无法写入，记录数据正在丢失：\n%1").arg(losing.join(QLatin1Char('\n')));
    if (!resumed.isEmpty())
        sections << tr("以下记录文件已恢复写入：\n%1").arg(resumed.join(QLatin1Char('\n')));
    if (!torn.isEmpty())
        sections << tr("以下记录文件无法截回写入失败前的长度，可能含有一行不完整的数据：\n%1")
                        .arg(torn.join(QLatin1Char('\n')));
    return sections.join(QStringLiteral("\n\n"));
}

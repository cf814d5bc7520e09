#pragma once

#include <QString>
#include <QStringList>

// One numbered copy of a folder to be made with files of its own: the
// folder's path and the paths of its files under that copy's names.
struct FolderCopy
{
    QString folder;
    QStringList files;
};

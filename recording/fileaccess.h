#pragma once

#include <QByteArray>
#include <QtGlobal>

// The few file operations the row writer needs, as plain system calls: the
// writer reasons in bytes reached and lengths restored, which buffered Qt
// files hide. Tests give the writer an access of their own to play a disk that
// fills, writes short, cannot cut a file back or opens slowly.
// Every call returns -1 on failure with errno set, as the system calls do.
class FileAccess
{
public:
    virtual ~FileAccess() = default;

    // For appending to a file that exists: never creates one.
    virtual int openForAppend(const QByteArray &path);
    // Creates a file that does not exist yet, for writing.
    virtual int createNew(const QByteArray &path);
    virtual qint64 write(int fd, const char *data, qint64 size);
    virtual qint64 size(int fd);
    virtual int truncate(int fd, qint64 length);
    virtual int close(int fd);
    virtual int remove(const QByteArray &path);
    // Makes a folder that does not exist yet; a name taken by anything fails with EEXIST.
    virtual int makeFolder(const QByteArray &path);
};

#pragma once

#include <QString>

// Where the alarm log and the summary of a recording go: the writer that owns
// the recording's files, so that no file is written from the window's thread.
class RunFilesWriter
{
public:
    virtual ~RunFilesWriter() = default;

    // Appends whole rows to the file at `path`; a file that does not exist
    // yet is created, with its folder, and starts with `header`.
    virtual void appendRows(const QString &path, const QString &header, const QString &rows) = 0;
};

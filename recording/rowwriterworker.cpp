#include "rowwriterworker.h"

#include "fileaccess.h"
#include "recordformat.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace {

// Far more Starts of one device within one second than an operator can make.
constexpr int MaxCopies = 100;

// The outcomes of one batch's rows, told when the batch is over: a row
// counts as written only once its file closed without error.
class Outcomes
{
public:
    void written() { add(true, false); }
    void lost(bool mayBeTorn) { add(false, mayBeTorn); }

    // Rows of one outcome in a row go as one signal.
    void tell(RowWriterWorker *worker, const QString &path) const
    {
        for (const Run &run : runs) {
            if (run.written)
                emit worker->written(path, run.rows);
            else
                emit worker->lost(path, run.rows, run.torn);
        }
    }

    // None of the rows is known to be on disk.
    void tellAllLost(RowWriterWorker *worker, const QString &path) const
    {
        int rows = 0;
        bool torn = false;
        for (const Run &run : runs) {
            rows += run.rows;
            torn = torn || run.torn;
        }
        if (rows > 0)
            emit worker->lost(path, rows, torn);
    }

private:
    struct Run
    {
        bool written;
        int rows;
        bool torn;
    };

    void add(bool written, bool torn)
    {
        if (runs.empty() || runs.back().written != written)
            runs.push_back({written, 0, false});
        ++runs.back().rows;
        runs.back().torn = runs.back().torn || torn;
    }

    std::vector<Run> runs;
};

} // namespace

RowWriterWorker::RowWriterWorker(std::shared_ptr<const std::atomic<qint64>> giveUpAt)
    : giveUpAt(std::move(giveUpAt))
    , access(std::make_shared<FileAccess>())
{
}

void RowWriterWorker::useFileAccess(const std::shared_ptr<FileAccess> &fileAccess)
{
    access = fileAccess;
}

void RowWriterWorker::create(const QString &path, const QByteArray &header, bool numbered)
{
    Entry entry;
    entry.bytes = header;
    entry.create = true;
    entry.numbered = numbered;
    enqueue(path, std::move(entry));
}

void RowWriterWorker::createInFolder(const QVector<FolderCopy> &copies, const QList<QByteArray> &headers)
{
    const auto folder = std::make_shared<FolderMaking>();
    folder->copies = copies;
    Entry making;
    making.create = true;
    making.folder = folder;
    enqueue(copies.first().folder, std::move(making));
    // Ahead of any row for these files, behind rows still waiting for the same names.
    for (int i = 0; i < copies.first().files.size(); ++i) {
        Entry entry;
        entry.bytes = headers.value(i);
        entry.create = true;
        entry.folder = folder;
        entry.fileIndex = i;
        enqueue(copies.first().files.at(i), std::move(entry));
    }
}

void RowWriterWorker::append(const QString &path, const QByteArray &row)
{
    Entry entry;
    entry.bytes = row;
    enqueue(path, std::move(entry));
}

void RowWriterWorker::enqueue(const QString &path, Entry entry)
{
    File &file = files[path];
    if (file.waiting.empty() && !order.contains(path))
        order << path;
    file.waiting.push_back(std::move(entry));
    // Rows that come while the disk is slow gather behind one flush, which
    // then writes them all through one open per file.
    if (!flushPosted) {
        flushPosted = true;
        QMetaObject::invokeMethod(this, &RowWriterWorker::flush, Qt::QueuedConnection);
    }
}

void RowWriterWorker::flush()
{
    flushPosted = false;
    const QStringList paths = order;
    for (const QString &path : paths) {
        if (givenUp())
            return;
        File &file = files[path];
        writeWaiting(path, file);
        if (file.waiting.empty()) {
            order.removeOne(path);
            if (file.cutTo < 0)
                files.remove(path);
        }
    }
}

void RowWriterWorker::finish()
{
    flush();
    QThread::currentThread()->quit();
}

void RowWriterWorker::writeWaiting(const QString &path, File &file)
{
    while (!file.waiting.empty() && !givenUp()) {
        if (file.waiting.front().create) {
            createFile(path, file.waiting.front());
            file.waiting.pop_front();
            continue;
        }
        const int fd = access->openForAppend(QFile::encodeName(onDisk(path)));
        if (fd == -1) {
            // Also when the file was moved or deleted: never made anew without its header.
            Outcomes outcomes;
            while (!file.waiting.empty() && !file.waiting.front().create) {
                outcomes.lost(false);
                file.waiting.pop_front();
            }
            outcomes.tell(this, path);
            continue;
        }
        appendRows(path, file, fd);
    }
    // No row may come to mend a file whose close failed (its recording has
    // ended): it is mended now.
    if (file.unconfirmed && file.waiting.empty() && !givenUp())
        cutBackNow(path, file);
}

void RowWriterWorker::createFile(const QString &path, const Entry &entry)
{
    if (entry.folder) {
        createInMadeFolder(path, entry);
        return;
    }
    const int copies = entry.numbered ? MaxCopies : 1;
    for (int copy = 1; copy <= copies; ++copy) {
        const QString target = copy == 1 ? path : numberedCopy(path, copy);
        const Made made = makeWithHeader(target, entry.bytes);
        if (made == Made::Taken)
            continue;
        if (made == Made::Failed)
            break;
        if (target != path)
            createdAs.insert(path, target);
        else
            createdAs.remove(path);
        emit created(path, target);
        return;
    }
    emit created(path, QString());
}

void RowWriterWorker::createInMadeFolder(const QString &path, const Entry &entry)
{
    // Whichever of its entries comes first makes the folder.
    makeFolder(*entry.folder);
    if (entry.fileIndex < 0)
        return;
    const FolderMaking &folder = *entry.folder;
    const QString target = folder.made >= 0 ? folder.copies.at(folder.made).files.value(entry.fileIndex) : QString();
    const bool made = !target.isEmpty() && makeWithHeader(target, entry.bytes) == Made::Yes;
    // Without its file, the rows given for it go nowhere else.
    createdAs.insert(path, made ? target : QString());
    emit created(path, made ? target : QString());
}

void RowWriterWorker::makeFolder(FolderMaking &folder)
{
    if (folder.decided)
        return;
    folder.decided = true;
    for (int copy = 0; copy < folder.copies.size(); ++copy) {
        if (access->makeFolder(QFile::encodeName(folder.copies.at(copy).folder)) == 0) {
            folder.made = copy;
            break;
        }
        // A dangling link takes a name as much as a folder does.
        if (errno != EEXIST)
            break;
    }
    emit created(folder.copies.first().folder, folder.made >= 0 ? folder.copies.at(folder.made).folder : QString());
}

RowWriterWorker::Made RowWriterWorker::makeWithHeader(const QString &target, const QByteArray &header)
{
    const QByteArray name = QFile::encodeName(target);
    const int fd = access->createNew(name);
    if (fd == -1) {
        // A dangling link takes a name as much as a file does.
        return errno == EEXIST ? Made::Taken : Made::Failed;
    }
    const bool whole = writeWhole(fd, header) == header.size();
    const bool closed = access->close(fd) == 0;
    // A file without its whole header is no record: rows never go after a torn one.
    if (!whole || !closed) {
        access->remove(name);
        return Made::Failed;
    }
    return Made::Yes;
}

void RowWriterWorker::appendRows(const QString &path, File &file, int fd)
{
    Outcomes outcomes;
    qint64 length = access->size(fd);
    const bool usable = length >= 0 && repairTail(path, file, fd, length);
    const qint64 confirmed = length;
    while (!file.waiting.empty() && !file.waiting.front().create && !givenUp()) {
        const QByteArray &row = file.waiting.front().bytes;
        const qint64 reached = usable ? writeWhole(fd, row) : 0;
        if (reached == row.size()) {
            length += reached;
            outcomes.written();
        } else {
            // Nothing of the row reached the file, or what did is cut off again.
            const bool whole = reached == 0 || access->truncate(fd, length) == 0;
            if (!whole)
                file.cutTo = length;
            outcomes.lost(!whole);
        }
        file.waiting.pop_front();
        if (file.cutTo >= 0)
            break;
    }
    if (access->close(fd) == 0) {
        outcomes.tell(this, path);
        return;
    }
    // The disk took the rows back at the close (a full share, a quota): none
    // of them counts, and the file goes back to where it stood.
    outcomes.tellAllLost(this, path);
    if (usable) {
        file.cutTo = confirmed;
        file.unconfirmed = true;
    }
}

// A file whose last cut failed is cut again before the next row; if that
// fails too, a line end closes the broken row so that the next row stands on
// a line of its own instead of gluing onto it.
bool RowWriterWorker::repairTail(const QString &path, File &file, int fd, qint64 &length)
{
    if (file.cutTo < 0)
        return true;
    const bool cut = length <= file.cutTo || access->truncate(fd, file.cutTo) == 0;
    if (!cut && writeWhole(fd, QByteArrayLiteral("\n")) != 1)
        return false;
    length = cut ? std::min(length, file.cutTo) : length + 1;
    if (file.unconfirmed)
        emit cutBack(path, cut);
    file.cutTo = -1;
    file.unconfirmed = false;
    return true;
}

void RowWriterWorker::cutBackNow(const QString &path, File &file)
{
    const int fd = access->openForAppend(QFile::encodeName(onDisk(path)));
    if (fd == -1)
        return;
    const qint64 length = access->size(fd);
    const bool cut = length >= 0 && (length <= file.cutTo || access->truncate(fd, file.cutTo) == 0);
    // Tried again at the next open unless the close confirms the cut.
    if (access->close(fd) != 0 || !cut)
        return;
    emit cutBack(path, true);
    file.cutTo = -1;
    file.unconfirmed = false;
}

qint64 RowWriterWorker::writeWhole(int fd, const QByteArray &bytes)
{
    qint64 reached = 0;
    while (reached < bytes.size()) {
        const qint64 step = access->write(fd, bytes.constData() + reached, bytes.size() - reached);
        if (step <= 0)
            break;
        reached += step;
    }
    return reached;
}

QString RowWriterWorker::onDisk(const QString &path) const
{
    return createdAs.value(path, path);
}

bool RowWriterWorker::givenUp() const
{
    return QDeadlineTimer::current().deadlineNSecs() >= giveUpAt->load();
}

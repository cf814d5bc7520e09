#include "recording/rowwriterworker.h"

#include "recording/fileaccess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <algorithm>

namespace {

// Rows of one outcome in a row, reported as one signal when the outcome changes.
class Tally
{
public:
    Tally(RowWriterWorker *worker, const QString &path)
        : worker(worker)
        , path(path)
    {
    }
    ~Tally() { report(); }
    Tally(const Tally &) = delete;
    Tally &operator=(const Tally &) = delete;

    void written()
    {
        if (lostRows > 0)
            report();
        ++writtenRows;
    }
    void lost(bool mayBeTorn)
    {
        if (writtenRows > 0)
            report();
        ++lostRows;
        torn = torn || mayBeTorn;
    }

private:
    void report()
    {
        if (writtenRows > 0)
            emit worker->written(path, writtenRows);
        if (lostRows > 0)
            emit worker->lost(path, lostRows, torn);
        writtenRows = 0;
        lostRows = 0;
        torn = false;
    }

    RowWriterWorker *const worker;
    const QString path;
    int writtenRows = 0;
    int lostRows = 0;
    bool torn = false;
};

} // namespace

RowWriterWorker::RowWriterWorker(std::shared_ptr<const std::atomic<qint64>> giveUpAt,
                                 std::shared_ptr<QHash<QString, int>> leftovers)
    : giveUpAt(std::move(giveUpAt))
    , leftovers(std::move(leftovers))
    , access(std::make_shared<FileAccess>())
{
}

void RowWriterWorker::useFileAccess(const std::shared_ptr<FileAccess> &fileAccess)
{
    access = fileAccess;
}

void RowWriterWorker::create(const QString &path, const QByteArray &header)
{
    enqueue(path, {header, true});
}

void RowWriterWorker::append(const QString &path, const QByteArray &row)
{
    enqueue(path, {row, false});
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
            if (file.tornAt < 0)
                files.remove(path);
        }
    }
}

void RowWriterWorker::finish()
{
    flush();
    for (auto file = files.cbegin(); file != files.cend(); ++file) {
        const auto rows = std::count_if(file->waiting.cbegin(), file->waiting.cend(),
                                        [](const Entry &entry) { return !entry.create; });
        if (rows > 0)
            leftovers->insert(file.key(), int(rows));
    }
    QThread::currentThread()->quit();
}

void RowWriterWorker::writeWaiting(const QString &path, File &file)
{
    while (!file.waiting.empty() && !givenUp()) {
        if (file.waiting.front().create) {
            createFile(path, file.waiting.front().bytes);
            file.waiting.pop_front();
            continue;
        }
        const int fd = access->openForAppend(QFile::encodeName(path));
        if (fd == -1) {
            // Also when the file was moved or deleted: never made anew without its header.
            Tally tally(this, path);
            while (!file.waiting.empty() && !file.waiting.front().create) {
                tally.lost(false);
                file.waiting.pop_front();
            }
            continue;
        }
        appendRows(path, file, fd);
        access->close(fd);
    }
}

void RowWriterWorker::createFile(const QString &path, const QByteArray &header)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = access->createNew(name);
    if (fd == -1) {
        emit created(path, false);
        return;
    }
    const bool whole = writeWhole(fd, header) == header.size();
    access->close(fd);
    // A file without its whole header is no record: rows never go after a torn one.
    if (!whole)
        access->remove(name);
    emit created(path, whole);
}

void RowWriterWorker::appendRows(const QString &path, File &file, int fd)
{
    Tally tally(this, path);
    qint64 length = access->size(fd);
    const bool usable = length >= 0 && repairTail(file, fd, length);
    while (!file.waiting.empty() && !file.waiting.front().create && !givenUp()) {
        const QByteArray &row = file.waiting.front().bytes;
        const qint64 reached = usable ? writeWhole(fd, row) : 0;
        if (reached == row.size()) {
            length += reached;
            tally.written();
        } else {
            // Nothing of the row reached the file, or what did is cut off again.
            const bool whole = reached == 0 || access->truncate(fd, length) == 0;
            if (!whole)
                file.tornAt = length;
            tally.lost(!whole);
        }
        file.waiting.pop_front();
        if (file.tornAt >= 0)
            break;
    }
}

// A file whose last cut failed is cut again before the next row; if that
// fails too, a line end closes the broken row so that the next row stands on
// a line of its own instead of gluing onto it.
bool RowWriterWorker::repairTail(File &file, int fd, qint64 &length)
{
    if (file.tornAt < 0)
        return true;
    if (length <= file.tornAt || access->truncate(fd, file.tornAt) == 0) {
        length = std::min(length, file.tornAt);
        file.tornAt = -1;
        return true;
    }
    if (writeWhole(fd, QByteArrayLiteral("\n")) != 1)
        return false;
    ++length;
    file.tornAt = -1;
    return true;
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

bool RowWriterWorker::givenUp() const
{
    return QDeadlineTimer::current().deadlineNSecs() >= giveUpAt->load();
}

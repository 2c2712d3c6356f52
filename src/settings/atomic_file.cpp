#include "atomic_file.h"

#include "regular_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace atomicfile {

namespace {

std::atomic<qint64> spaceLimit{-1};

// The folder entry made by the rename reaches the disk only when the folder is synced; without
// it a power cut right after a save could bring back the old file (never a cut one). The save
// itself has already succeeded, so a folder that cannot be synced changes nothing for the
// caller.
void syncFolder(const QString& path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

bool write(const QString& path, QByteArrayView bytes, QString* why) {
    QSaveFile file(path);
    // Writing straight into the old file, where no temporary file can be made, would cut it
    // on the first failure.
    file.setDirectWriteFallback(false);
    const auto fail = [&](const QString& reason) {
        if (why)
            *why = reason;
        file.cancelWriting();
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("没有文件名"));
    if (textfile::classify(path) == textfile::ReadStatus::NotRegularFile)
        return fail(QStringLiteral("它不是普通文件"));
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());

    QByteArrayView rest = bytes;
    const qint64 limit = spaceLimit.load();
    if (limit >= 0 && rest.size() > limit)
        rest = rest.first(qsizetype(limit));
    while (!rest.isEmpty()) {
        const qint64 written = file.write(rest.data(), rest.size());
        if (written <= 0)
            return fail(file.errorString());
        rest = rest.sliced(qsizetype(written));
    }
    if (limit >= 0 && bytes.size() > limit)
        return fail(QString::fromLocal8Bit(std::strerror(ENOSPC)));
    // Qt 6.4's commit() overlooks a failure of its own final flush (a full disk, a file size
    // limit) and would put a cut file in place of the old one: flush first and check it.
    if (!file.flush())
        return fail(file.errorString());
    if (!file.commit())
        return fail(file.errorString());
    syncFolder(path);
    return true;
}

void limitSpaceForTesting(qint64 bytes) {
    spaceLimit.store(bytes);
}

} // namespace atomicfile

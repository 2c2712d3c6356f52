#include "settings/atomic_file.h"

#include "settings/file_system.h"
#include "settings/regular_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace atomicfile {

namespace {

std::atomic<qint64> spaceLimit{-1};

struct KnownReason {
    int code;
    const char16_t* words;
};

// The reasons a save really meets, in the user's words.
constexpr KnownReason kKnown[] = {
    {ENOSPC, u"磁盘空间不足"}, {EDQUOT, u"超出了磁盘配额"}, {EFBIG, u"文件超出了大小限制"},
    {EROFS, u"磁盘是只读的"},  {EACCES, u"没有写入权限"},   {EPERM, u"没有写入权限"},
    {EIO, u"磁盘读写出错"},    {ENOENT, u"文件夹不存在"},
};

QString wordsFor(int code) {
    for (const KnownReason& reason : kKnown)
        if (reason.code == code)
            return QString::fromUtf16(reason.words);
    return QString::fromLocal8Bit(std::strerror(code));
}

// Why a save failed, in Chinese where the reason is a known one. Qt words an errno with
// qt_error_string, in English unless a translation is loaded; some of its failures carry no
// errno at all (a write cut short by a full disk reads "Unknown error", an old file it may not
// replace "Existing file … is not writable"), so the state of the disk is asked as well. Called
// while the temporary file still holds what was written.
QString reasonOf(const QString& path, qsizetype size, const QString& systemText) {
    for (const KnownReason& reason : kKnown) {
        if (systemText == qt_error_string(reason.code) ||
            systemText == QString::fromLocal8Bit(std::strerror(reason.code)))
            return QString::fromUtf16(reason.words);
    }
    if (const int refusal = filesystem::writeRefusal(path))
        return wordsFor(refusal);
    const qint64 room = filesystem::freeBytesAt(QFileInfo(path).absolutePath());
    if (room >= 0 && room < size)
        return wordsFor(ENOSPC);
    return systemText;
}

} // namespace

bool write(const QString& path, QByteArrayView bytes, QString* why) {
    QSaveFile file(path);
    // Writing straight into the old file, where no temporary file can be made, would cut it
    // on the first failure.
    file.setDirectWriteFallback(false);
    const auto refuse = [&](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    const auto fail = [&](const QString& systemText) {
        if (why)
            *why = reasonOf(path, bytes.size(), systemText);
        file.cancelWriting();
        return false;
    };
    if (path.isEmpty())
        return refuse(QStringLiteral("没有文件名"));
    if (textfile::classify(path) == textfile::ReadStatus::NotRegularFile)
        return refuse(QStringLiteral("它不是普通文件"));
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
    // The folder entry made by the rename reaches the disk only when the folder is synced;
    // without it a power cut right after a save could bring back the old file (never a cut
    // one). The save itself has already succeeded.
    filesystem::syncFolderOf(path);
    return true;
}

void limitSpaceForTesting(qint64 bytes) {
    spaceLimit.store(bytes);
}

} // namespace atomicfile

#pragma once

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <chrono>
#include <functional>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Small helpers shared by the file tests.
namespace testfiles {

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Permission bits do not stop the superuser, under whom the tests may run.
inline bool permissionsApply() {
    return ::geteuid() != 0;
}

inline bool makeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// A file of that size that takes no room on disk (zero bytes throughout, no line end), after
// the given start.
inline bool makeSparse(const QString& path, qint64 size, const QByteArray& start = {}) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(start) == start.size() &&
           file.resize(size);
}

// What lstat says the name is (not following a link): 'f' file, 'd' folder, 'p' FIFO,
// 'l' link, 'c' character device, '-' nothing, '?' else.
inline char kindOf(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return '-';
    if (S_ISREG(info.st_mode))
        return 'f';
    if (S_ISDIR(info.st_mode))
        return 'd';
    if (S_ISFIFO(info.st_mode))
        return 'p';
    if (S_ISLNK(info.st_mode))
        return 'l';
    if (S_ISCHR(info.st_mode))
        return 'c';
    return '?';
}

// The file's inode: a save through a new file and a rename changes it.
inline quint64 inodeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? quint64(info.st_ino) : 0;
}

// Runs work on a thread of its own and says whether it ended within the deadline. A read
// blocked on a FIFO is set free by opening the FIFO's other end, so a failing test still
// ends instead of hanging.
inline bool endsWithin(std::chrono::milliseconds deadline, const std::function<void()>& work,
                       const QString& fifoToRelease = {}) {
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(deadline) == std::future_status::ready)
        return true;
    if (!fifoToRelease.isEmpty()) {
        const int fd = ::open(QFile::encodeName(fifoToRelease).constData(), O_RDWR);
        if (fd >= 0)
            ::close(fd);
    }
    done.wait();
    return false;
}

} // namespace testfiles

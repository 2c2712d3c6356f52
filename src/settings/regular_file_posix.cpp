#include "settings/regular_file.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace textfile {

namespace {

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// stat follows links; lstat tells a dangling link (not regular) from nothing at all. Unlike
// classify, this one keeps the system's reason for a name it may not look at.
ReadStatus classifyName(const QByteArray& name, int* error) {
    struct stat info {};
    if (::stat(name.constData(), &info) == 0) {
        *error = 0;
        return S_ISREG(info.st_mode) ? ReadStatus::Ok : ReadStatus::NotRegularFile;
    }
    *error = errno;
    if (errno == ENOENT || errno == ENOTDIR) {
        struct stat link {};
        if (::lstat(name.constData(), &link) == 0)
            return ReadStatus::NotRegularFile;
        return ReadStatus::Missing;
    }
    return ReadStatus::Unreadable;
}

} // namespace

ReadStatus RegularFile::open(const QString& path) {
    close();
    m_error.clear();
    if (path.isEmpty())
        return ReadStatus::Missing;
    const QByteArray name = QFile::encodeName(path);
    int error = 0;
    const ReadStatus kind = classifyName(name, &error);
    if (kind != ReadStatus::Ok) {
        if (error != 0)
            m_error = systemError(error);
        return kind;
    }
    // O_NONBLOCK: should a FIFO have taken the name since the look above, opening it returns
    // at once instead of waiting for a writer. It changes nothing for a regular file.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        m_error = systemError(code);
        return code == ENOENT ? ReadStatus::Missing : ReadStatus::Unreadable;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        m_error = systemError(errno);
        ::close(fd);
        return ReadStatus::Unreadable;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return ReadStatus::NotRegularFile;
    }
    m_fd = fd;
    m_size = info.st_size;
    return ReadStatus::Ok;
}

void RegularFile::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
}

qint64 RegularFile::read(char* buffer, qint64 maxBytes) {
    if (m_fd < 0)
        return -1;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, size_t(maxBytes));
        if (got >= 0)
            return got;
        if (errno != EINTR) {
            m_error = systemError(errno);
            return -1;
        }
    }
}

} // namespace textfile
